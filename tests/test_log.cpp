#include "base/Log.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(Log, writesPrefixedLinesWhileLevelAllows) {
    ScratchDir dir;
    const std::string path = dir.file("log.txt");
    ASSERT_TRUE(logOpen(path.c_str()));
    logSetLevel(0);
    const int n = logPrint("lumoeditor", 41, "18:16:10", "open log\n");
    EXPECT_EQ(readFile(path), "[info][lumoeditor:41][18:16:10]: open log\n");
    EXPECT_EQ(n, static_cast<int>(readFile(path).size()));

    logSetLevel(1);
    EXPECT_GT(LOG_INFO("current path :%s\n", "/w"), 0);
    EXPECT_NE(readFile(path).find("][test_log:"), std::string::npos);

    logSetLevel(2);
    const std::string before = readFile(path);
    EXPECT_EQ(logPrint("m", 1, "00:00:00", "dropped\n"), 0);
    EXPECT_EQ(readFile(path), before);
    logClose();
}

TEST(Log, missingLogWritesNothing) {
    ScratchDir dir;
    logSetLevel(0);
    EXPECT_FALSE(logOpen(dir.file("missing/log.txt").c_str()));
    EXPECT_EQ(logPrint("m", 1, "00:00:00", "nothing\n"), 0);
}

TEST(Log, reopeningTruncates) {
    ScratchDir dir;
    const std::string path = dir.file("log.txt");
    logSetLevel(0);
    ASSERT_TRUE(logOpen(path.c_str()));
    logPrint("m", 1, "00:00:00", "first run\n");
    ASSERT_TRUE(logOpen(path.c_str()));
    logPrint("m", 2, "00:00:00", "second run\n");
    logClose();
    EXPECT_EQ(readFile(path), "[info][m:2][00:00:00]: second run\n");
}
