#include "pack/FileCopy.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;

// Copying a file onto itself, however the destination is spelled or linked,
// is refused and leaves the file as it was.
TEST(FileCopy, refusesToCopyAFileOntoItself) {
    ScratchDir dir;
    writeFile(dir.file("a.bin"), "payload");
    fs::create_symlink(dir.file("a.bin"), dir.file("link.bin"));
    fs::create_hard_link(dir.file("a.bin"), dir.file("hard.bin"));
    for (const std::string& dst : {dir.file("a.bin"), dir.path() + "/../" + fs::path(dir.path()).filename().string() + "/a.bin", dir.path() + "//./a.bin",
                                   dir.file("link.bin"), dir.file("hard.bin")}) {
        TraceCapture trace;
        EXPECT_FALSE(kvo::cp(dir.file("a.bin"), dst)) << dst;
        EXPECT_TRUE(trace.contains("kvo::cp failed src and des are the same file.\n")) << dst;
        EXPECT_EQ(readFile(dir.file("a.bin")), "payload") << dst;
    }
    EXPECT_TRUE(kvo::cp(dir.file("link.bin"), dir.file("copy.bin")));
    EXPECT_EQ(readFile(dir.file("copy.bin")), "payload");
}
