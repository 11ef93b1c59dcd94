#include "images/ImageBuffer.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <cstdlib>
#include <random>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* kInfo = "origin channel:";

// A 3 x 2 picture: top row red, green, blue; bottom row white, grey, clear.
std::vector<uint16_t> rgbaSamples() {
    return {255, 0, 0, 255,   0, 255, 0, 200,   0, 0, 255, 100,
            255, 255, 255, 255, 128, 128, 128, 128, 0, 0, 0, 0};
}

std::vector<uint8_t> asBytes(const std::vector<uint16_t>& samples) {
    return std::vector<uint8_t>(samples.begin(), samples.end());
}

ImageBuffer filledBuffer(int w, int h, int c) {
    ImageBuffer b;
    b.create(w, h, c);
    for (size_t i = 0; i < b.data.size(); ++i)
        b.data[i] = uint8_t(i * 7 + 3);
    return b;
}

// Pixel (x, y) of a packed buffer, y counted in stored row order.
std::vector<uint8_t> pixelAt(const ImageBuffer& b, int x, int y) {
    const auto* p = b.data.data() + (size_t(y) * size_t(b.width) + size_t(x)) * size_t(b.channels);
    return std::vector<uint8_t>(p, p + b.channels);
}

} // namespace

TEST(ImageRead, rgbaPngComesOutBgraBottomUpWithOneInfoLine) {
    ScratchDir dir;
    const std::string path = dir.file("rgba.png");
    writeFile(path, makePng(3, 2, PngColor::Rgba, 8, rgbaSamples()));
    ImageBuffer image;
    TraceCapture trace;
    ASSERT_TRUE(image.imread(path));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.channels, 4);
    // stored row 0 is the picture's bottom row: white, grey, clear
    EXPECT_EQ(pixelAt(image, 0, 0), (std::vector<uint8_t>{255, 255, 255, 255}));
    EXPECT_EQ(pixelAt(image, 1, 0), (std::vector<uint8_t>{128, 128, 128, 128}));
    // top row red, green, blue in B, G, R, A order
    EXPECT_EQ(pixelAt(image, 0, 1), (std::vector<uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(pixelAt(image, 1, 1), (std::vector<uint8_t>{0, 255, 0, 200}));
    EXPECT_EQ(pixelAt(image, 2, 1), (std::vector<uint8_t>{255, 0, 0, 100}));
    EXPECT_EQ(trace.count(kInfo), 1);
    EXPECT_TRUE(trace.contains("\n" + path + "\norigin channel:"));
}

// Each source kind, the number of times the info line is printed, and the
// expected 8-bit value of every sample (16-bit samples scale linearly).
TEST(ImageRead, convertsGreyAndSixteenBitPicturesToBgraWithTheirTraceLines) {
    struct Case {
        const char* name;
        PngColor color;
        int depth;
        std::vector<uint16_t> samples; // 2 x 2, top row first
        int infoLines;
        bool typeLine;
    };
    const std::vector<Case> cases = {
        {"grey8", PngColor::Grey, 8, {0, 64, 128, 255}, 2, false},
        {"grey16", PngColor::Grey, 16, {0, 0x4000, 0x8000, 0xFFFF}, 3, true},
        {"rgb16", PngColor::Rgb, 16, {0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0x8000, 0x8000, 0x8000}, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.file(std::string(c.name) + ".png");
        const std::string png = makePng(2, 2, c.color, c.depth, c.samples);
        writeFile(path, png);
        ImageBuffer image;
        TraceCapture trace;
        ASSERT_TRUE(image.imread(path));
        EXPECT_EQ(image.channels, 4);
        EXPECT_EQ(image.data.size(), 16u);
        EXPECT_EQ(trace.count(kInfo), c.infoLines);
        EXPECT_EQ(trace.contains("FreeImage_GetImageType(dib) != FIT_BITMAP\n"), c.typeLine);
        EXPECT_TRUE(trace.contains("reeImage_GetBPP(dib) != 32\n" + path));
        // an independent decoder agrees on every pixel
        const Rgba8 reference = decodeWithStb(png);
        ASSERT_EQ(reference.width, 2);
        EXPECT_EQ(bgraBottomUpToRgbaTopDown(image.data, 2, 2), reference.rgba);
    }
}

TEST(ImageRead, realSequenceFramesMatchAnIndependentDecoder) {
    LUMO_REQUIRE_FIXTURES();
    int files = 0;
    for (const auto& e : fs::directory_iterator(fixturesDir() + "/sequences")) {
        if (e.path().extension() != ".png")
            continue;
        SCOPED_TRACE(e.path().string());
        ++files;
        const std::string bytes = readFile(e.path().string());
        const Rgba8 reference = decodeWithStb(bytes);
        ASSERT_GT(reference.width, 0);
        ImageBuffer image;
        TraceCapture quiet;
        ASSERT_TRUE(image.imread(e.path().string()));
        ASSERT_EQ(image.width, reference.width);
        ASSERT_EQ(image.height, reference.height);
        EXPECT_EQ(bgraBottomUpToRgbaTopDown(image.data, image.width, image.height), reference.rgba);

        // written back as PNG, the picture is neither mirrored nor red/blue swapped
        ScratchDir dir;
        ASSERT_TRUE(image.imwrite(dir.file("back.png")));
        EXPECT_EQ(decodeWithStb(readFile(dir.file("back.png"))).rgba, reference.rgba);
    }
    EXPECT_GE(files, 8);
}

TEST(ImageRead, readsFromMemoryLikeFromFile) {
    const std::string png = makePng(3, 2, PngColor::Rgba, 8, rgbaSamples());
    ScratchDir dir;
    writeFile(dir.file("a.png"), png);
    ImageBuffer fromFile, fromMemory;
    TraceCapture quiet;
    ASSERT_TRUE(fromFile.imread(dir.file("a.png")));
    ASSERT_TRUE(fromMemory.imreadMemory(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "mem"));
    EXPECT_EQ(fromFile.data, fromMemory.data);
    // the content decides the format, whatever the name says
    ImageBuffer misnamed;
    EXPECT_TRUE(misnamed.imreadMemory(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "a.jpg"));
    EXPECT_EQ(misnamed.data, fromFile.data);
}

TEST(ImageRead, refusesBadInputAndLeavesTheBufferAsItWas) {
    ScratchDir dir;
    const std::string png = makePng(5, 4, PngColor::Rgba, 8, std::vector<uint16_t>(5 * 4 * 4, 77));
    std::mt19937 rng(12345);
    std::string noise(4096, '\0');
    for (char& ch : noise)
        ch = char(rng());
    writeFile(dir.file("empty.png"), "");
    writeFile(dir.file("noise.png"), noise);
    writeFile(dir.file("noise.qqq"), noise);
    writeFile(dir.file("text.txt"), "just some words, not a picture\n");
    fs::create_directory(dir.file("folder.png"));
    struct Case {
        std::string path;
        std::string message;
    };
    std::vector<Case> cases = {
        {dir.file("missing.png"), "load image failed: " + dir.file("missing.png") + "\n"},
        {dir.file("missing.qqq"), "Unsupported image format!\n"},
        {dir.file("empty.png"), "load image failed: " + dir.file("empty.png") + "\n"},
        {dir.file("noise.png"), "load image failed: " + dir.file("noise.png") + "\n"},
        {dir.file("noise.qqq"), "Unsupported image format!\n"},
        {dir.file("text.txt"), "Unsupported image format!\n"},
        {dir.path(), "Unsupported image format!\n"}, // a folder, not a file
        {dir.path() + "/", "Unsupported image format!\n"},
        {dir.file("folder.png"), "load image failed: " + dir.file("folder.png") + "\n"},
    };
    // every cut that loses part of the picture data (the last 12 bytes are
    // the end marker)
    for (size_t len = 1; len + 12 < png.size(); ++len) {
        const std::string path = dir.file("cut" + std::to_string(len) + ".png");
        writeFile(path, png.substr(0, len));
        cases.push_back({path, "load image failed: " + path + "\n"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ImageBuffer image = filledBuffer(2, 3, 3);
        const ImageBuffer before = image;
        TraceCapture trace;
        EXPECT_FALSE(image.imread(c.path));
        EXPECT_TRUE(trace.contains(c.message)) << trace.all();
        EXPECT_EQ(image.data, before.data);
        EXPECT_EQ(image.width, 2);
        EXPECT_EQ(image.height, 3);
        EXPECT_EQ(image.channels, 3);
    }
}

TEST(ImageRead, refusesHeaderThatAnnouncesAnOversizedPicture) {
    // 200000 x 200000 pixels announced (160 GB as BGRA), a few bytes of data
    const std::string png = withHeaderSize(makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}), 200000, 200000);
    ImageBuffer image;
    TraceCapture trace;
    EXPECT_FALSE(image.imreadMemory(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "big.png"));
    EXPECT_TRUE(trace.contains("load image failed: big.png\n"));
    EXPECT_TRUE(image.data.empty());
}

// Headers of formats whose decoder cannot report a size without decoding,
// each announcing 40000 x 40000 pixels over a few bytes: refused before the
// decoder allocates for them.
TEST(ImageRead, refusesOversizedHeadersOfFormatsWithoutASizeOnlyRead) {
    auto be = [](uint32_t v, int n) { std::string b; for (int i = n - 1; i >= 0; --i) b += char(v >> (8 * i)); return b; };
    auto le = [](uint32_t v, int n) { std::string b; for (int i = 0; i < n; ++i) b += char(v >> (8 * i)); return b; };
    const uint32_t N = 40000;
    const std::string ihdr = be(22, 4) + "ihdr" + be(N, 4) + be(N, 4) + be(3, 2) + std::string("\x07\x07\0\0", 4);
    const struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"canvas.gif", "GIF89a" + le(N, 2) + le(N, 2) + std::string(3, '\0') + ";"},
        {"frame.gif", "GIF89a" + le(1, 2) + le(1, 2) + std::string(3, '\0') + "\x2C" + le(0, 4) + le(N, 2) + le(N, 2) + '\0'},
        {"a.sgi", be(474, 2) + be(1, 2) + be(3, 2) + be(N, 2) + be(N, 2) + be(4, 2) + std::string(500, '\0')},
        {"a.dds", "DDS " + le(124, 4) + le(7, 4) + le(N, 4) + le(N, 4) + std::string(108, '\0')},
        {"a.iff", "FORM" + be(32, 4) + "ILBMBMHD" + be(20, 4) + be(N, 2) + be(N, 2) + std::string(16, '\0')},
        {"a.mng", "\x8AMNG\r\n\x1A\n" + be(28, 4) + "MHDR" + be(N, 4) + be(N, 4) + std::string(24, '\0')},
        {"a.wbmp", std::string("\0\0\x82\xB8\x40\x82\xB8\x40", 8) + std::string(8, '\0')},
        {"a.xbm", "#define a_width 40000\n#define a_height 40000\nstatic char a_bits[] = {0x00};\n"},
        {"a.j2k", "\xFF\x4F\xFF\x51" + be(41, 2) + be(0, 2) + be(N, 4) + be(N, 4) + std::string(40, '\0')},
        {"a.jp2", be(12, 4) + "jP  \r\n\x87\n" + be(20, 4) + "ftypjp2 " + be(0, 4) + "jp2 " + be(30, 4) + "jp2h" + ihdr},
    };
    for (const Case& c : cases) {
        ImageBuffer image;
        TraceCapture trace;
        EXPECT_FALSE(image.imreadMemory(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), c.name));
        EXPECT_TRUE(trace.contains(std::string("image too large: ") + c.name + " declares 40000x40000 pixels"))
            << c.name << "\n" << trace.all();
        EXPECT_TRUE(trace.contains(std::string("load image failed: ") + c.name + "\n")) << c.name;
    }
    const std::string dot("GIF89a\x01\0\x01\0\x80\0\0\xff\xff\xff\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 35);
    ImageBuffer image; // a real one-pixel GIF still reads
    EXPECT_TRUE(image.imreadMemory(reinterpret_cast<const uint8_t*>(dot.data()), dot.size(), "dot.gif"));
}

TEST(ImageWrite, roundTripThroughPngKeepsEveryByte) {
    const struct {
        int w, h, c;
    } sizes[] = {{3, 2, 4}, {5, 3, 4}, {1, 1, 4}, {7, 5, 3}, {6, 4, 1}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + "x" + std::to_string(s.c));
        ScratchDir dir;
        const ImageBuffer source = filledBuffer(s.w, s.h, s.c);
        TraceCapture quiet;
        ASSERT_TRUE(source.imwrite(dir.file("out.png")));
        EXPECT_FALSE(fs::exists(dir.file("out.png.part")));
        ImageBuffer back;
        ASSERT_TRUE(back.imread(dir.file("out.png")));
        ASSERT_EQ(back.width, s.w);
        ASSERT_EQ(back.height, s.h);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                const auto src = pixelAt(source, x, y);
                const auto got = pixelAt(back, x, y);
                if (s.c == 1)
                    EXPECT_EQ(got, (std::vector<uint8_t>{src[0], src[0], src[0], 255}));
                else
                    for (int k = 0; k < s.c; ++k)
                        EXPECT_EQ(got[size_t(k)], src[size_t(k)]) << "pixel " << x << "," << y;
            }
    }
}

TEST(ImageWrite, writtenPngShowsTheRightColoursToAnotherDecoder) {
    ImageBuffer image;
    image.create(3, 2, 4, asBytes({255, 255, 255, 255, 128, 128, 128, 128, 0, 0, 0, 0, // bottom row
                                   0, 0, 255, 255, 0, 255, 0, 200, 255, 0, 0, 100}).data());
    ScratchDir dir;
    TraceCapture quiet;
    ASSERT_TRUE(image.imwrite(dir.file("x.png")));
    EXPECT_EQ(decodeWithStb(readFile(dir.file("x.png"))).rgba, asBytes(rgbaSamples()));
}

TEST(ImageWrite, reportsEveryFailureAndWritesNothing) {
    ScratchDir dir;
    writeFile(dir.file("plainfile"), "x");
    const ImageBuffer good = filledBuffer(4, 4, 4);
    ImageBuffer inconsistent = filledBuffer(4, 4, 4);
    inconsistent.data.pop_back();
    ImageBuffer twoChannels = filledBuffer(4, 4, 2);
    struct Case {
        const char* name;
        const ImageBuffer* image;
        std::string path;
        std::string message;
    };
    const ImageBuffer empty;
    const std::vector<Case> cases = {
        {"empty", &empty, dir.file("e.png"), "Empty Image!\n"},
        {"unknown extension", &good, dir.file("e.qqq"), "imwrite, unsupported format:" + dir.file("e.qqq") + "\n"},
        {"missing folder", &good, dir.file("nofolder/e.png"), "imwrite, save failed:" + dir.file("nofolder/e.png") + "\n"},
        {"file as folder", &good, dir.file("plainfile/e.png"), "imwrite, save failed:"},
        {"bytes short of sizes", &inconsistent, dir.file("i.png"), "imwrite, inconsistent image"},
        {"two channels", &twoChannels, dir.file("t.png"), "imwrite, inconsistent image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        EXPECT_FALSE(c.image->imwrite(c.path));
        EXPECT_TRUE(trace.contains(c.message)) << trace.all();
        EXPECT_FALSE(fs::exists(c.path));
        EXPECT_FALSE(fs::exists(c.path + ".part"));
    }
}

TEST(ImageBufferShape, createCopiesOrZeroFillsAndReleaseEmpties) {
    const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
    ImageBuffer b;
    b.create(2, 1, 3, src);
    EXPECT_EQ(b.data, std::vector<uint8_t>(src, src + 6));
    EXPECT_EQ(b.getWidth(), 2);
    b.create(3, 2, 1);
    EXPECT_EQ(b.data, std::vector<uint8_t>(6, 0));
    b.create(-3, 2, 4);
    EXPECT_TRUE(b.data.empty());
    EXPECT_EQ(b.width, 0);
    b.create(2, 2, 4);
    b.release();
    EXPECT_TRUE(b.data.empty());
    EXPECT_EQ(b.width + b.height + b.channels, 0);
}

TEST(ImageBufferShape, flipsMirrorEveryPixelAndKeepOddMiddles) {
    const struct {
        int w, h, c;
    } sizes[] = {{3, 1, 4}, {1, 1, 4}, {2, 2, 1}, {5, 3, 3}, {4, 5, 4}, {1, 4, 2}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + "x" + std::to_string(s.c));
        const ImageBuffer source = filledBuffer(s.w, s.h, s.c);
        ImageBuffer h = source;
        h.flipHorizontal();
        ImageBuffer v = source;
        v.flipVertical();
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                EXPECT_EQ(pixelAt(h, x, y), pixelAt(source, s.w - 1 - x, y));
                EXPECT_EQ(pixelAt(v, x, y), pixelAt(source, x, s.h - 1 - y));
            }
        h.flipHorizontal();
        v.flipVertical();
        EXPECT_EQ(h.data, source.data);
        EXPECT_EQ(v.data, source.data);
    }
}

TEST(ImageBufferShape, flipsLeaveAnInconsistentBufferAlone) {
    ImageBuffer b = filledBuffer(4, 4, 4);
    b.data.resize(10);
    const auto before = b.data;
    b.flipHorizontal();
    b.flipVertical();
    EXPECT_EQ(b.data, before);
}

// WebP written through the image library decodes with libwebp's own tool:
// colours close (lossy), alpha exact (stored losslessly), rows the right way up.
TEST(ImageWrite, webpIsReadableByLibwebpsDecoder) {
    ASSERT_EQ(std::system("command -v dwebp >/dev/null 2>&1"), 0) << "dwebp is missing; scripts/setup.sh installs it";
    const int w = 16, h = 8;
    ImageBuffer image;
    image.create(w, h, 4);
    for (int y = 0; y < h; ++y) // stored bottom row first
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.data.data() + (size_t(y) * w + size_t(x)) * 4;
            p[0] = 40;                 // B
            p[1] = uint8_t(y * 30);    // G grows upwards in stored order
            p[2] = 200;                // R
            p[3] = uint8_t(x * 16);    // A grows to the right
        }
    ScratchDir dir;
    TraceCapture quiet;
    ASSERT_TRUE(image.imwrite(dir.file("a.webp")));
    const std::string cmd = "dwebp -quiet -pam '" + dir.file("a.webp") + "' -o '" + dir.file("a.pam") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string pam = readFile(dir.file("a.pam"));
    const size_t end = pam.find("ENDHDR\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(pam.find("WIDTH 16\n"), std::string::npos);
    EXPECT_NE(pam.find("HEIGHT 8\n"), std::string::npos);
    const auto* px = reinterpret_cast<const uint8_t*>(pam.data() + end + 7);
    ASSERT_EQ(pam.size() - end - 7, size_t(w * h * 4));
    for (int row = 0; row < h; ++row) // PAM rows run top-down
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = px + (size_t(row) * w + size_t(x)) * 4;
            const int storedY = h - 1 - row;
            EXPECT_EQ(p[3], x * 16) << x << "," << row;
            if (p[3] > 64) { // colour of nearly clear pixels is not kept
                EXPECT_NEAR(p[0], 200, 24) << x << "," << row;
                EXPECT_NEAR(p[1], storedY * 30, 24) << x << "," << row;
                EXPECT_NEAR(p[2], 40, 24) << x << "," << row;
            }
        }
}

// Random bytes behind the signature of each common format: refused or read,
// never a crash (the sanitizer build watches every access).
TEST(ImageRead, survivesRandomBytesBehindKnownSignatures) {
    const struct {
        const char* name;
        std::string magic;
    } formats[] = {
        {"x.bmp", "BM"},
        {"x.gif", "GIF89a"},
        {"x.jpg", std::string("\xFF\xD8\xFF\xE0", 4)},
        {"x.tif", std::string("II*\0", 4)},
        {"x.psd", "8BPS"},
        {"x.tga", std::string("\0\0\x02\0\0\0\0\0", 8)},
        {"x.pcx", std::string("\x0A\x05\x01\x08", 4)},
        {"x.hdr", "#?RADIANCE\n"},
        {"x.dds", "DDS "},
        {"x.ppm", "P6\n4 4\n255\n"},
        {"x.pfm", "PF\n4 4\n-1.0\n"},
        {"x.ico", std::string("\0\0\x01\0\x01\0", 6)},
        {"x.webp", std::string("RIFF\x40\0\0\0WEBPVP8 ", 16)},
        {"x.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)},
    };
    std::mt19937 rng(99);
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        for (size_t length : {size_t(0), size_t(3), size_t(16), size_t(64), size_t(700)}) {
            std::string bytes = f.magic;
            for (size_t i = 0; i < length; ++i)
                bytes += char(rng());
            ImageBuffer image;
            TraceCapture quiet;
            if (image.imreadMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), f.name)) {
                EXPECT_EQ(image.channels, 4);
                EXPECT_EQ(image.data.size(), image.expectedSize());
            } else {
                EXPECT_TRUE(image.data.empty());
            }
        }
    }
}
