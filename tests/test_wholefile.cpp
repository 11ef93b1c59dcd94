#include "base/WholeFile.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace testing_support;

TEST(WholeFile, readsRegularFilesOnlyAndWithinTheLimit) {
    ScratchDir dir;
    writeFile(dir.file("a.bin"), std::string("ab\0cd", 5));
    std::string text;
    ASSERT_TRUE(readWholeFile(dir.file("a.bin"), text));
    EXPECT_EQ(text, std::string("ab\0cd", 5));
    std::vector<uint8_t> bytes{9, 9};
    EXPECT_FALSE(readWholeFile(dir.file("a.bin"), bytes, 4));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(readWholeFile(dir.path(), text));  // a folder
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(readWholeFile(dir.file("missing"), text));
    writeFile(dir.file("empty"), "");
    EXPECT_TRUE(readWholeFile(dir.file("empty"), bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(WholeFile, failedWriteLeavesThePreviousFileAndNoLeftovers) {
    ScratchDir dir;
    const std::string path = dir.file("keep.txt");
    ASSERT_TRUE(writeWholeFile(path, "old", 3));
    ASSERT_TRUE(writeWholeFile(path, "newer", 5));
    EXPECT_EQ(readFile(path), "newer");

    // The rename cannot replace a non-empty folder: the write fails cleanly.
    std::filesystem::create_directories(dir.file("busy/inside"));
    EXPECT_FALSE(writeWholeFile(dir.file("busy"), "x", 1));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("busy/inside")));
    EXPECT_FALSE(writeWholeFile(dir.file("no/such/folder.txt"), "x", 1));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".busy"), std::string::npos) << e.path();
    EXPECT_EQ(readFile(path), "newer");
}

// A link planted where a predictable temporary name would be is never
// followed, and the new file keeps the permission bits of the old one.
TEST(WholeFile, writeNeverFollowsAPlantedLinkAndKeepsPermissions) {
    ScratchDir dir;
    const std::string path = dir.file("desc.json");
    writeFile(dir.file("victim"), "precious");
    for (const char* suffix : {".part", ".tmp", "~", ".new"})
        std::filesystem::create_symlink(dir.file("victim"), path + suffix);
    writeFile(path, "old");
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    ASSERT_TRUE(writeWholeFile(path, "new", 3));
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(readFile(dir.file("victim")), "precious");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string().rfind(".desc.json", 0) == 0;
    EXPECT_EQ(entries, 0) << "temporary file left behind";
}
