#include "images/ResourceManager.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace testing_support;

namespace {

// Records which stream every traced text went to.
class StreamCapture {
public:
    StreamCapture() {
        Trace::setEnabled(false);
        Trace::setSink([this](Trace::Stream s, const std::string& text) {
            (s == Trace::Err ? m_err : m_out) += text;
        });
    }
    ~StreamCapture() {
        Trace::setSink({});
        Trace::setEnabled(true);
    }
    const std::string& out() const { return m_out; }
    const std::string& err() const { return m_err; }
    static int count(const std::string& in, const std::string& what) {
        int n = 0;
        for (size_t p = in.find(what); p != std::string::npos; p = in.find(what, p + 1))
            ++n;
        return n;
    }

private:
    std::string m_out, m_err;
};

} // namespace

TEST(TextureTable, addTexConvertsEachSourceKindToRgbaBottomUp) {
    ScratchDir dir;
    // 2 x 2 pictures, top row first
    writeFile(dir.file("rgba.png"), makePng(2, 2, PngColor::Rgba, 8, {10, 20, 30, 40, 50, 60, 70, 80,
                                                                       90, 100, 110, 120, 130, 140, 150, 160}));
    writeFile(dir.file("rgb.png"), makePng(2, 2, PngColor::Rgb, 8, {10, 20, 30, 50, 60, 70, 90, 100, 110, 130, 140, 150}));
    writeFile(dir.file("grey.png"), makePng(2, 2, PngColor::Grey, 8, {10, 50, 90, 130}));
    const struct {
        const char* name;
        std::vector<uint8_t> pixels; // bottom row first
    } cases[] = {
        {"rgba.png", {90, 100, 110, 120, 130, 140, 150, 160, 10, 20, 30, 40, 50, 60, 70, 80}},
        {"rgb.png", {90, 100, 110, 255, 130, 140, 150, 255, 10, 20, 30, 255, 50, 60, 70, 255}},
        {"grey.png", {90, 90, 90, 255, 130, 130, 130, 255, 10, 10, 10, 255, 50, 50, 50, 255}},
    };
    auto table = ResourceManager::instance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamCapture trace;
        table->addTex(dir.file(c.name));
        const TextureEntry* e = table->find(dir.file(c.name));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->path, dir.file(c.name));
        EXPECT_EQ(e->width, 2);
        EXPECT_EQ(e->height, 2);
        EXPECT_EQ(e->channels, 4);
        EXPECT_EQ(e->pixels, c.pixels);
        EXPECT_EQ(trace.out().rfind("addTex(" + dir.file(c.name) + ")\n", 0), 0u);
        EXPECT_EQ(trace.err(), "Load Texture end\n");
    }
}

TEST(TextureTable, samePathIsLoadedOnce) {
    ScratchDir dir;
    const std::string path = dir.file("once.png");
    writeFile(path, makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    auto table = ResourceManager::instance();
    StreamCapture trace;
    table->addTex(path);
    writeFile(path, makePng(1, 1, PngColor::Rgba, 8, {9, 9, 9, 9}));
    table->addTex(path);
    EXPECT_EQ(StreamCapture::count(trace.out(), "addTex(" + path + ")\n"), 2);
    EXPECT_EQ(StreamCapture::count(trace.err(), "Load Texture end\n"), 1);
    EXPECT_EQ(table->find(path)->pixels, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(TextureTable, failedLoadKeepsAnEmptyEntryEvenAfterTheFileIsFixed) {
    ScratchDir dir;
    const std::string path = dir.file("late.png");
    auto table = ResourceManager::instance();
    StreamCapture trace;
    table->addTex(path);
    EXPECT_EQ(trace.err(), "Load Texture failed: " + path + "\n");
    writeFile(path, makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    table->addTex(path);
    EXPECT_EQ(StreamCapture::count(trace.err(), "Load Texture"), 1);
    const TextureEntry* e = table->find(path);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->path.empty());
    EXPECT_TRUE(e->pixels.empty());
    EXPECT_EQ(e->width + e->height + e->channels, 0);
}

TEST(TextureTable, pathsAreExactByteStrings) {
    ScratchDir dir;
    writeFile(dir.file("Case.png"), makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    auto table = ResourceManager::instance();
    StreamCapture trace;
    table->addTex(dir.file("Case.png"));
    EXPECT_EQ(table->find(dir.file("case.png")), nullptr);
    EXPECT_EQ(table->find(dir.path() + "//Case.png"), nullptr);
    EXPECT_NE(table->find(dir.file("Case.png")), nullptr);
}

TEST(TextureTable, spellingsOfOneFileShareOneCopyOfItsPixels) {
    ScratchDir dir;
    writeFile(dir.file("one.png"), makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    auto table = ResourceManager::instance();
    StreamCapture trace;
    const std::string spellings[] = {dir.file("one.png"), dir.path() + "//one.png", dir.path() + "/./one.png"};
    for (const std::string& path : spellings)
        table->addTex(path);
    EXPECT_EQ(StreamCapture::count(trace.err(), "Load Texture end\n"), 1);
    for (const std::string& path : spellings)
        EXPECT_EQ(table->find(path), table->find(spellings[0])) << path;
}

TEST(TextureTable, getTexidReportsOnlyUnknownPaths) {
    ScratchDir dir;
    writeFile(dir.file("k.png"), makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    auto table = ResourceManager::instance();
    table->addTex(dir.file("k.png"));
    StreamCapture trace;
    for (int slot = 0; slot < kTextureSlots; ++slot)
        EXPECT_EQ(table->getTexid(dir.file("k.png"), slot), 0u);
    EXPECT_EQ(table->getTexid(dir.file("k.png"), 7), 0u);
    EXPECT_EQ(trace.out(), "");
    EXPECT_EQ(table->getTexid(dir.file("nothere.png"), 0), 0u);
    EXPECT_EQ(trace.out(), "!!!\ngetTexid " + dir.file("nothere.png") + " not found\n\n");
}

TEST(TextureTable, sharedInstanceIsOneObject) {
    auto a = ResourceManager::instance();
    auto b = ResourceManager::instance();
    EXPECT_EQ(a.get(), b.get());
    EXPECT_GE(a.use_count(), 3); // the process keeps a handle as well
}

// The first creation happens once even when many threads ask at the same
// moment, and the table announces its end at process exit.
TEST(TextureTableDeathTest, createdOnceUnderRacingCallersAndTracesItsEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto child = [] {
        Trace::setEnabled(false);
        static std::string creations;
        Trace::setSink([](Trace::Stream, const std::string& text) {
            if (text == "creat ResourceManager\n")
                creations += "c";
            else
                std::fputs(text.c_str(), stderr);
        });
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        std::vector<ResourceManager*> seen(8);
        for (size_t i = 0; i < seen.size(); ++i)
            threads.emplace_back([&go, &seen, i] {
                while (!go)
                    std::this_thread::yield();
                seen[i] = ResourceManager::instance().get();
            });
        go = true;
        for (auto& t : threads)
            t.join();
        for (ResourceManager* p : seen)
            if (p != seen[0])
                std::exit(2);
        std::exit(int(creations.size()));
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(1),
                "ResourceManager::~ResourceManager\\(\\)\nResourceManager::delete all Textures\\(\\)\n");
}
