// The runtime end to end through its C interface on a headless EGL context:
// set-up blob checks, detection and landmarks against dlib's own annotations
// of real photographs, tracking over a video made from a photograph, and 2D
// bundles packed and signed by our own pack pipeline drawn onto real faces.

#include "PackTestSupport.h"
#include "TestSupport.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/ExternalTool.h"
#include "pack/PackController.h"
#include "pack/ZipWriter.h"
#include "scene/FaceActions.h"
#include "scene/Item_2d.h"
#include "vexa/FaceTracker.h"
#include "vexa/Runtime.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <regex>

using namespace pack_test;
using testing_support::fixturesDir;
using testing_support::readFile;

namespace {

const std::string kSource = LUMO_SOURCE_DIR;

void setUpRuntime() {
    std::string reason;
    ASSERT_TRUE(vexa::makeHeadlessGlCurrent(reason)) << reason;
    static bool ready = false;
    if (!ready) {
        const std::string blob = readFile(kSource + "/data/vexa/v3.bundle");
        ASSERT_EQ(lumoSetup(blob.data(), int(blob.size())), 1) << lumoGetLastError();
        ready = true;
    }
    vexa::internal::useFrameClock(30);
}

cv::Mat rgbaOf(const std::string& photo) {
    cv::Mat bgr = cv::imread(fixturesDir() + "/faces/" + photo, cv::IMREAD_COLOR), rgba;
    cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
    return rgba;
}

Sticker2d star(const std::string& name, math3d::Vec3 at, float size) {
    Sticker2d s;
    s.name = name;
    s.texpath = kSource + "/data/ref/default_00000.png";
    s.fps = 10;
    s.triggerStart = kTriggerAlwaysRender;
    s.start_action = s.end_action = "null";
    s.hasNode = true;
    s.translation = at;
    s.model = math3d::compose(at, {size, size, 1}, math3d::Mat3::identity());
    return s;
}

// A 2D project of these stickers (and the face paint as an AR mesh), packed
// and signed by the pack pipeline; the bundle's bytes.
std::string packProject(const std::vector<Sticker2d>& stickers, bool withArMesh = false) {
    PackWorkspace ws("fx");
    BigTexJob job;
    job.root = ws.root();
    job.projectDir = ws.project();
    job.scriptName = "fx_lumoeditor_3_0_1";
    job.threads = 1;
    FaceActions actions;
    EXPECT_TRUE(actions.loadFromFile(kSource + "/data/tools/actions.json"));
    job.actions = actions.all();
    job.stickers = stickers;
    if (withArMesh)
        job.arItems.push_back({"paint", "paint_ar", kSource + "/data/ref/default_ar.png", 0});
    RecordingSink sink;
    PackController pc(ws.root(), "fx", &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});
    EXPECT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d));
    return readFile(ws.project("build/iOS/fx.bundle"));
}

// The star over the reference head's nose tip, 70 x 70 layout units.
std::string packNoseSticker(int trigger, const std::string& action, bool withArMesh = false) {
    Sticker2d s = star("star", {0, -15, 80}, 70);
    s.triggerStart = trigger;
    s.start_action = action;
    s.nearestVertex = 1649;  // the nose tip's vertex of ar_demo3.obj (data/README.md: (0, -15), z 76.5)
    s.nearestVertexPosition = {-1.856f, -12.711f, 76.45f};
    return packProject({s}, withArMesh);
}

int createItem(const std::string& bytes) { return lumoCreateItemFromPackage(bytes.data(), int(bytes.size())); }

// Renders `items` on the photograph; the mean absolute change per channel in
// a square of `radius` around (x, y).
struct Rendered {
    cv::Mat before, after;
    double change(float x, float y, int radius) const {
        const cv::Rect r = cv::Rect(int(x) - radius, int(y) - radius, 2 * radius, 2 * radius) &
                           cv::Rect(0, 0, before.cols, before.rows);
        cv::Mat d;
        cv::absdiff(before(r), after(r), d);
        const cv::Scalar m = cv::mean(d);
        return (m[0] + m[1] + m[2]) / 3;
    }
};

Rendered render(const cv::Mat& rgba, std::vector<int> items, int frames = 1) {
    Rendered r{rgba.clone(), rgba.clone()};
    for (int f = 0; f < frames; ++f) {
        r.after = rgba.clone();
        EXPECT_EQ(lumoRenderItemsEx(4, r.after.data, 4, r.after.data, r.after.cols, r.after.rows, f, items.data(),
                                    int(items.size())),
                  1)
            << lumoGetLastError();
    }
    return r;
}

} // namespace

TEST(VexaRuntime, exportsExactlyTheCInterface) {
    const std::string out = testing_support::runCommand("nm -D --defined-only " + std::string(LUMO_BINARY_DIR) +
                                                        "/vexa/libvexa.so | awk '$2 == \"T\" {print $3}' | sort");
    EXPECT_EQ(out,
              "lumoCreateItemFromPackage\nlumoDestroyItem\nlumoGetLastError\nlumoItemSetParamd\nlumoItemSetParams\n"
              "lumoRenderItemsEx\nlumoSetup\n");
}

TEST(VexaRuntime, setupRefusesNullTruncatedAndForeignData) {
    const std::string blob = readFile(kSource + "/data/vexa/v3.bundle");
    std::string otherModel = blob;
    const std::size_t at = otherModel.find("shape_predictor_68");
    ASSERT_NE(at, std::string::npos);
    otherModel[at] = 'X';
    std::string wrongVersion = blob;
    wrongVersion[8] = 2;
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"empty", "", "no set-up data"},
        {"truncated", blob.substr(0, blob.size() / 2), "truncated"},
        {"foreign", readFile(kSource + "/data/ref/white.png"), "not a Vexa data blob"},
        {"version", wrongVersion, "format 2"},
        {"missing model", otherModel, "face model not found"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lumoSetup(c.bytes.empty() ? nullptr : c.bytes.data(), int(c.bytes.size())), 0) << c.what;
        EXPECT_NE(std::string(lumoGetLastError()).find(c.reason), std::string::npos)
            << c.what << ": " << lumoGetLastError();
    }
}

TEST(VexaRuntime, findsEveryLargeAnnotatedFaceWithItsLandmarksAndNoneOnDogs) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    vexa::FaceTracker* tracker = vexa::internal::tracker();
    ASSERT_NE(tracker, nullptr);
    const std::string xml = readFile(fixturesDir() + "/faces/training_with_face_landmarks.xml");
    const std::regex imageRe("<image file='([^']+)'[^>]*>([\\s\\S]*?)</image>");
    const std::regex boxRe("<box top='(-?\\d+)' left='(-?\\d+)' width='(\\d+)' height='(\\d+)'>([\\s\\S]*?)</box>");
    const std::regex partRe("<part name='(\\d+)' x='(-?\\d+)' y='(-?\\d+)'/>");
    int large = 0;
    for (std::sregex_iterator im(xml.begin(), xml.end(), imageRe), end; im != end; ++im) {
        cv::Mat grey = cv::imread(fixturesDir() + "/faces/" + (*im)[1].str(), cv::IMREAD_GRAYSCALE);
        ASSERT_FALSE(grey.empty()) << (*im)[1];
        const auto found = tracker->detect(grey.data, grey.cols, grey.rows);
        const std::string body = (*im)[2];
        for (std::sregex_iterator b(body.begin(), body.end(), boxRe); b != end; ++b) {
            const float top = std::stof((*b)[1]), left = std::stof((*b)[2]), width = std::stof((*b)[3]);
            if (width < 60)
                continue;
            ++large;
            std::vector<cv::Point2f> parts;
            const std::string ps = (*b)[5];
            for (std::sregex_iterator p(ps.begin(), ps.end(), partRe); p != end; ++p)
                parts.emplace_back(std::stof((*p)[2]), std::stof((*p)[3]));
            ASSERT_EQ(parts.size(), 68u);
            const vexa::FoundFace* match = nullptr;
            for (const auto& f : found)
                if (std::fabs(f.box.x + f.box.width / 2 - (left + width / 2)) < width / 3 &&
                    std::fabs(f.box.y + f.box.height / 2 - (top + width / 2)) < width / 3)
                    match = &f;
            ASSERT_NE(match, nullptr) << (*im)[1] << " face at " << left << "," << top;
            double error = 0;
            for (std::size_t k = 0; k < 68; ++k)
                error += std::hypot(match->landmarks[k].x - parts[k].x, match->landmarks[k].y - parts[k].y) / 68;
            EXPECT_LE(error, 2.0) << (*im)[1] << " face at " << left << "," << top << " w " << width << " ours " << match->box.x << "," << match->box.y << " " << match->box.width;
        }
    }
    EXPECT_GE(large, 3);
    cv::Mat dogs = cv::imread(fixturesDir() + "/faces/dogs.jpg", cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(dogs.empty());
    EXPECT_TRUE(tracker->detect(dogs.data, dogs.cols, dogs.rows).empty());
}

TEST(VexaRuntime, packedNoseStickerDrawsOnTheNoseOfEachPhotograph) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    const int item = createItem(packNoseSticker(kTriggerAlwaysRender, "null"));
    ASSERT_GT(item, 0) << lumoGetLastError();
    int faces = 0;
    for (const char* photo : {"2008_001009.jpg", "2008_002470.jpg", "2009_004587.jpg", "Tom_Cruise_avp_2014_4.jpg"}) {
        const cv::Mat rgba = rgbaOf(photo);
        const Rendered r = render(rgba, {item}, 2);
        vexa::FaceTracker* t = vexa::internal::tracker();
        if (!t->hasFace())
            continue;
        ++faces;
        const vexa::Point2 nose = t->face().landmarks[30];
        const int near = std::max(3, int(t->face().box.width / 10));
        EXPECT_GT(r.change(nose.x, nose.y, near), 20) << photo;
        // eyes.glsl brightens the eyes (the packer puts it in every 2D bundle).
        const vexa::Landmarks& l = t->face().landmarks;
        EXPECT_GT(r.change((l[37].x + l[40].x) / 2, (l[37].y + l[40].y) / 2, 2), 1) << photo;
        for (const cv::Point corner : {cv::Point(8, 8), cv::Point(rgba.cols - 8, rgba.rows - 8)})
            EXPECT_EQ(r.change(float(corner.x), float(corner.y), 8), 0) << photo;
    }
    EXPECT_GE(faces, 3);
    // The AR face paint covers the cheeks (its hearts) but not the corners.
    const int painted = createItem(packNoseSticker(kTriggerAlwaysRender, "null", true));
    ASSERT_GT(painted, 0) << lumoGetLastError();
    const Rendered ar = render(rgbaOf("2009_004587.jpg"), {painted}, 2);
    const vexa::Landmarks& l = vexa::internal::tracker()->face().landmarks;
    EXPECT_GT(ar.change((l[2].x + l[31].x) / 2, (l[2].y + l[31].y) / 2, 5), 5);
    EXPECT_EQ(ar.change(8, 8, 8), 0);
    lumoDestroyItem(painted);
    // Without the item the frame comes back unchanged.
    const cv::Mat rgba = rgbaOf("2008_001009.jpg");
    const Rendered plain = render(rgba, {0, 9999});
    EXPECT_EQ(cv::norm(plain.before, plain.after, cv::NORM_INF), 0);
    EXPECT_EQ(lumoDestroyItem(item), 1);
    EXPECT_EQ(lumoDestroyItem(item), 0);
}

TEST(VexaRuntime, mouthOpenStickerShowsOnAnOpenMouthOnly) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    const int item = createItem(packNoseSticker(kTriggerFaceAction, "mouth_open"));
    ASSERT_GT(item, 0) << lumoGetLastError();
    const struct {
        const char* photo;
        bool open;
    } cases[] = {{"2008_001009.jpg", true}, {"2009_004587.jpg", false}};
    double mouth[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(lumoItemSetParamd(item, "@refresh", 0), 1);
        const Rendered r = render(rgbaOf(cases[i].photo), {item}, 2);
        vexa::FaceTracker* t = vexa::internal::tracker();
        ASSERT_TRUE(t->hasFace()) << cases[i].photo;
        mouth[i] = t->face().values.mouthOpen;
        const vexa::Point2 nose = t->face().landmarks[30];
        EXPECT_EQ(r.change(nose.x, nose.y, 4) > 20, cases[i].open) << cases[i].photo << " mouthOpen " << mouth[i];
    }
    EXPECT_GT(mouth[0], mouth[1]);
    lumoDestroyItem(item);
}

TEST(VexaRuntime, refusesBadBundlesAndDisablesOnlyAFailingScript) {
    setUpRuntime();
    const std::string good = packNoseSticker(kTriggerAlwaysRender, "null");
    std::string tampered = good;
    tampered[good.size() / 2] ^= 0x10;
    std::mt19937 rng(3);
    std::string random(3000, '\0');
    for (char& c : random)
        c = char(rng());
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"tampered", tampered, "signature"},
        {"truncated", good.substr(0, good.size() - 10), "does not match"},
        {"random", random, "magic"},
        {"unsigned zip", good.substr(96), "magic"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(createItem(c.bytes), 0) << c.what;
        EXPECT_NE(std::string(lumoGetLastError()).find(c.reason), std::string::npos) << lumoGetLastError();
    }
    // A script that throws on its first frame: only that item is disabled,
    // with the script's message as the reason; the other one still draws.
    testing_support::ScratchDir dir;
    auto signedScript = [&](const std::string& name, const std::string& script) {
        std::filesystem::create_directories(dir.file(name));
        testing_support::writeFile(dir.file(name + "/script.js"), script);
        cv::imwrite(dir.file(name + "/big.webp"), cv::Mat(1024, 1024, CV_8UC3, cv::Scalar(0, 90, 200)));
        std::string error;
        EXPECT_TRUE(ZipWriter::zipFolder(dir.file(name), dir.file(name + ".zip"), error)) << error;
        const ToolResult r = ExternalTool::run({ExternalTool::find("node"), kSource + "/data/tools/sign_file.js",
                                                dir.file(name + ".zip"), dir.file(name + ".bundle")});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return readFile(dir.file(name + ".bundle"));
    };
    const std::string throwing = signedScript(
        "bad", "var effect = { onLoad: function (b) {}, onFrame: function (f) { "
               "throw new Error('sticker table broken'); } };");
    // 65 textures of a million pixels each exceed the item's texture budget.
    EXPECT_EQ(createItem(signedScript("greedy", "var effect = { onLoad: function (b) { for (var i = 0; i < 65; ++i) "
                                                "b.loadTexture('big.webp'); }, onFrame: function (f) {} };")),
              0);
    EXPECT_NE(std::string(lumoGetLastError()).find("64 million pixels"), std::string::npos) << lumoGetLastError();
    const int bad = createItem(throwing);
    const int ok = createItem(good);
    ASSERT_GT(bad, 0) << lumoGetLastError();
    ASSERT_GT(ok, 0) << lumoGetLastError();
    if (!fixturesDir().empty()) {
        const Rendered r = render(rgbaOf("2008_001009.jpg"), {bad, ok});
        EXPECT_NE(std::string(lumoGetLastError()).find("sticker table broken"), std::string::npos)
            << lumoGetLastError();
        const vexa::Point2 nose = vexa::internal::tracker()->face().landmarks[30];
        EXPECT_GT(r.change(nose.x, nose.y, 4), 20);
    }
    EXPECT_EQ(lumoItemSetParamd(bad, "@refresh", 0), 0);
    EXPECT_NE(std::string(lumoGetLastError()).find("sticker table broken"), std::string::npos);
    EXPECT_EQ(lumoItemSetParamd(ok, std::string(300, 'n').c_str(), 1), 0);
    EXPECT_EQ(lumoItemSetParamd(12345, "x", 1), 0);
    lumoDestroyItem(bad);
    lumoDestroyItem(ok);
}

TEST(VexaRuntime, trackingAVideoOfAPhotographKeepsTheFaceAndSmoothsLandmarks) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    vexa::FaceTracker* t = vexa::internal::tracker();
    t->reset();
    const cv::Mat photo = rgbaOf("2008_001009.jpg");
    std::vector<vexa::Landmarks> smooth, raw;
    int kept = 0, appeared = 0;
    for (int f = 0; f < 40; ++f) {
        const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, (f % 3) - 1, 0, 1, (f % 2));
        cv::Mat frame;
        cv::warpAffine(photo, frame, shift, photo.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        cv::Mat n(frame.size(), CV_16SC4);
        cv::randn(n, 0, 6);
        cv::Mat noisy;
        frame.convertTo(noisy, CV_16SC4);
        noisy += n;
        noisy.convertTo(frame, CV_8UC4);
        t->process(frame.data, frame.cols, frame.rows, f / 30.0);
        kept += t->hasFace();
        appeared += t->faceAppeared();
        if (t->hasFace() && f >= 10) {
            smooth.push_back(t->face().landmarks);
            raw.push_back(t->face().raw);
        }
    }
    EXPECT_EQ(kept, 40);
    EXPECT_EQ(appeared, 1);
    // The face leaves: lost once, within the re-detection interval plus the
    // frames tracked while the worker searched; then it comes back. Frames
    // go on while a search runs (the detector is off the caller's thread).
    const cv::Mat empty(photo.size(), CV_8UC4, cv::Scalar(128, 128, 128, 255));
    int lost = 0, lostAt = -1, whileSearching = 0, back = 0, f = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (; (f < 15 || lost == 0) && std::chrono::steady_clock::now() < deadline; ++f) {
        whileSearching += lost == 0 && t->searching();
        t->process(empty.data, empty.cols, empty.rows, (40 + f) / 30.0);
        lost += t->faceLost();
        if (t->faceLost())
            lostAt = f;
    }
    EXPECT_EQ(lost, 1);
    EXPECT_LE(lostAt, 10 + whileSearching);
    EXPECT_GT(whileSearching, 0);
    EXPECT_FALSE(t->hasFace());
    for (; !t->hasFace() && std::chrono::steady_clock::now() < deadline; ++f) {
        t->process(photo.data, photo.cols, photo.rows, (40 + f) / 30.0);
        back += t->faceAppeared();
    }
    EXPECT_EQ(back, 1);
    auto spread = [](const std::vector<vexa::Landmarks>& s) {
        double total = 0;
        for (std::size_t k = 0; k < 68; ++k) {
            double mx = 0, my = 0;
            for (const auto& l : s) {
                mx += l[k].x / double(s.size());
                my += l[k].y / double(s.size());
            }
            for (const auto& l : s)
                total += std::pow(l[k].x - mx, 2) + std::pow(l[k].y - my, 2);
        }
        return total;
    };
    EXPECT_LT(spread(smooth), spread(raw));
}

TEST(VexaRuntime, groupMembersPlayInChainOrderOverFrames) {
    setUpRuntime();
    // Group g starts member a, a hands over to b, b closes the ring; each
    // member shows its one frame for 0.1 s (3 frames at 30 fps), once.
    std::vector<Sticker2d> s = {star("g", {0, 0, 80}, 40), star("a", {-100, 200, 81}, 80),
                                star("b", {100, -200, 82}, 80)};
    for (Sticker2d& x : s)
        x.isfullscreen = true, x.loopType = 1, x.loopcnt = 1;
    s[0].nodetype = 1, s[0].chain = {1}, s[0].loopType = 0;
    s[1].nodetype = 2, s[1].chain = {2}, s[1].group = 0;
    s[2].nodetype = 2, s[2].chain = {0}, s[2].group = 0;
    const int item = createItem(packProject(s));
    ASSERT_GT(item, 0) << lumoGetLastError();
    const cv::Mat blank(480, 272, CV_8UC4, cv::Scalar(40, 40, 40, 255));
    // Screen units to pixels; the layout is mirrored in x like the preview.
    auto pixel = [&](float x, float y) { return cv::Point2f((1 - x / 190) / 2 * 272, (1 - y / 336) / 2 * 480); };
    std::string order;
    for (int f = 0; f < 20; ++f) {
        cv::Mat frame = blank.clone();
        ASSERT_EQ(lumoRenderItemsEx(4, frame.data, 4, frame.data, 272, 480, f, &item, 1), 1);
        Rendered r{blank, frame};
        const bool a = r.change(pixel(-100, 200).x, pixel(-100, 200).y, 6) > 20;
        const bool b = r.change(pixel(100, -200).x, pixel(100, -200).y, 6) > 20;
        EXPECT_FALSE(r.change(pixel(0, 0).x, pixel(0, 0).y, 6) > 20) << "the group itself draws nothing";
        const char now = a && b ? '!' : (a ? 'a' : (b ? 'b' : '-'));
        if (order.empty() || order.back() != now)
            order += now;
    }
    EXPECT_EQ(order.substr(0, 4), "abab") << order;
    lumoDestroyItem(item);
}

TEST(VexaRuntime, commandLinePlaysHeadlesslyAndReportsFailures) {
    LUMO_REQUIRE_FIXTURES();
    testing_support::ScratchDir dir;
    testing_support::writeFile(dir.file("nose.bundle"), packNoseSticker(kTriggerAlwaysRender, "null"));
    std::string tampered = readFile(dir.file("nose.bundle"));
    tampered[tampered.size() / 2] ^= 1;
    testing_support::writeFile(dir.file("bad.bundle"), tampered);
    const std::string play = std::string(LUMO_BINARY_DIR) + "/vexa/vexa-play";
    const std::string photo = fixturesDir() + "/faces/2009_004587.jpg";
    ScopedEnv noDisplay("DISPLAY", nullptr);
    const ToolResult ok = ExternalTool::run({play, dir.file("nose.bundle"), "--input", photo, "--frames", "3", "--out",
                                             dir.file("out.png"), "--faces-json", dir.file("faces.json")});
    ASSERT_EQ(ok.exitCode, 0) << ok.output;
    EXPECT_NE(cv::norm(cv::imread(photo), cv::imread(dir.file("out.png")), cv::NORM_INF), 0);
    // node's JSON parser reads the faces: 3 frames, 68 landmarks on the first face.
    const ToolResult json = ExternalTool::run(
        {ExternalTool::find("node"), "-e",
         "const d=JSON.parse(require('fs').readFileSync(process.argv[1]));"
         "console.log(d.length, d[2].faces[0].landmarks.length, typeof d[2].faces[0].values.mouthOpen)",
         dir.file("faces.json")});
    EXPECT_EQ(json.output, "3 68 number\n");
    const struct {
        std::vector<std::string> args;
        int exit;
        const char* reason;
    } failures[] = {
        {{play, dir.file("bad.bundle"), "--input", photo}, 1, "signature does not verify"},
        {{play, "--input", photo, "--data", dir.file("nose.bundle")}, 1, "not a Vexa data blob"},
        {{play, "--input", dir.file("missing.jpg")}, 1, "cannot read input"},
        {{play, dir.file("nose.bundle")}, 2, "--input is required"},
    };
    for (const auto& f : failures) {
        const ToolResult r = ExternalTool::run(f.args);
        EXPECT_EQ(r.exitCode, f.exit) << r.output;
        EXPECT_NE(r.output.find(f.reason), std::string::npos) << r.output;
    }
}

TEST(VexaRuntime, trustsTheSigningKeyOfTheEnvironmentLikeTheSigningScript) {
    setUpRuntime();
    testing_support::ScratchDir dir;
    const std::string key = dir.file("release.pem");
    const ToolResult gen = ExternalTool::run(
        {ExternalTool::find("node"), "-e",
         "const c=require('crypto');const k=c.generateKeyPairSync('ed25519');require('fs').writeFileSync('" + key +
             "',k.privateKey.export({type:'pkcs8',format:'pem'}))"});
    ASSERT_EQ(gen.exitCode, 0) << gen.output;
    std::string bundle;
    {
        ScopedEnv signWith("LUMO_SIGN_KEY", key.c_str());
        bundle = packNoseSticker(kTriggerAlwaysRender, "null");
    }
    EXPECT_EQ(createItem(bundle), 0);
    EXPECT_NE(std::string(lumoGetLastError()).find("untrusted key"), std::string::npos) << lumoGetLastError();
    const std::string blob = readFile(kSource + "/data/vexa/v3.bundle");
    {
        ScopedEnv trust("LUMO_SIGN_KEY", key.c_str());
        ASSERT_EQ(lumoSetup(blob.data(), int(blob.size())), 1) << lumoGetLastError();
    }
    const int item = createItem(bundle);
    EXPECT_GT(item, 0) << lumoGetLastError();
    lumoDestroyItem(item);
    ScopedEnv broken("LUMO_SIGN_PUBKEY", key.c_str());  // a private key where a public one belongs
    EXPECT_EQ(lumoSetup(blob.data(), int(blob.size())), 0);
    EXPECT_NE(std::string(lumoGetLastError()).find("LUMO_SIGN_PUBKEY"), std::string::npos) << lumoGetLastError();
}
