#include "base/Log.h"
#include "TestSupport.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

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

// Workers log long lines while the main thread keeps switching files: every
// file holds whole lines only, never a piece of one or two lines run together.
TEST(Log, linesOfManyThreadsStayWholeAcrossReopens) {
    ScratchDir dir;
    logSetLevel(0);
    const std::string body(10000, 'x'); // longer than a stdio buffer
    std::atomic<bool> stop{false};
    std::atomic<long> lines{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&, w] {
            for (; !stop; ++lines)
                logPrint("m", w, "00:00:00", "%s\n", body.c_str());
        });
    for (int i = 0; i < 200; ++i) {
        for (const long seen = lines; lines < seen + 20;)
            std::this_thread::yield();
        logOpen(dir.file("log" + std::to_string(i % 2) + ".txt").c_str());
    }
    stop = true;
    for (auto& t : workers)
        t.join();
    logClose();
    const std::regex whole("\\[info\\]\\[m:[0-3]\\]\\[00:00:00\\]: x+");
    for (const char* name : {"log0.txt", "log1.txt"}) {
        std::istringstream in(readFile(dir.file(name)));
        for (std::string l; std::getline(in, l);)
            ASSERT_TRUE(l.size() == 23 + body.size() && std::regex_match(l.substr(0, 24), whole) &&
                        l.find_first_not_of('x', 23) == std::string::npos) << l.substr(0, 80);
    }
}

// A sink that traces itself, or waits for another thread that traces, must
// not lock up the program.
TEST(Trace, sinkMayTraceAndWaitForOtherTracingThreads) {
    std::vector<std::string> seen; // each push happens before the next call starts
    Trace::setEnabled(false);
    Trace::setSink([&](Trace::Stream, const std::string& text) {
        seen.push_back(text);
        if (text == "outer\n") {
            Trace::out("inner\n");
            std::async(std::launch::async, [] { Trace::out("other thread\n"); }).wait();
        }
    });
    auto traced = std::make_shared<std::promise<void>>();
    std::future<void> done = traced->get_future();
    std::thread([traced] {
        Trace::out("outer\n");
        traced->set_value();
    }).detach(); // left behind, blocked, only if the test fails
    const bool finished = done.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
    if (finished) {
        Trace::setSink({});
        Trace::setEnabled(true);
    }
    ASSERT_TRUE(finished) << "tracing from a sink locked up";
    EXPECT_EQ(seen, (std::vector<std::string>{"outer\n", "inner\n", "other thread\n"}));
}
