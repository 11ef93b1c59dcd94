// The filter tool: batch runs of the real program in a scratch workspace,
// the lookup table read back with stb_image, the project file with node's
// JSON parser, refusals, and the look dialog driven with key and mouse events.

#include "GuiTestSupport.h"
#include "PngTestFiles.h"
#include "TestSupport.h"
#include "tools/tintworks/FilterProject.h"
#include "tools/tintworks/TintworksDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace testing_support;

namespace {

const QString kTool = LUMO_BINARY_DIR "/bins/Tintworks";

int runTool(const std::string& workspace, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(workspace));
    p.start(kTool, args);
    if (!p.waitForFinished(60000))
        return -1000;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1001;
}

// Lattice entry (r, g, b) of a decoded table, in the documented strip layout.
std::array<int, 3> entry(const Rgba8& lut, int r, int g, int b) {
    const uint8_t* px = &lut.rgba[4 * (size_t(g) * lut.width + b * 33 + r)];
    return {px[0], px[1], px[2]};
}

Rgba8 createAndRead(const ScratchDir& ws, const char* name, const QStringList& controls) {
    EXPECT_EQ(runTool(ws.path(), QStringList{"-c", QString(name) + ".lumoproj", "--batch"} + controls), 0);
    return decodeWithStb(readFile(ws.path() + "/Projects/" + name + "/" + name + "_lut.png"));
}

}  // namespace

TEST(Tintworks, identityLookTableMapsEveryLatticeColourToItself) {
    ScratchDir ws;
    const Rgba8 lut = createAndRead(ws, "plain", {});
    ASSERT_EQ(lut.width * lut.height, 33 * 33 * 33);
    ASSERT_EQ(lut.height, 33);
    int worst = 0;
    for (int b = 0; b < 33; ++b)
        for (int g = 0; g < 33; ++g)
            for (int r = 0; r < 33; ++r) {
                const auto e = entry(lut, r, g, b);
                const int want[3] = {r * 255 / 32, g * 255 / 32, b * 255 / 32};
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(e[c] - want[c]));
            }
    EXPECT_LE(worst, 1);
    // The project file as an independent JSON parser reads it.
    const std::string summary = runCommand(
        "cd '" + ws.path() + "' && node -e \"const p=JSON.parse(require('fs').readFileSync("
        "'Projects/plain/plain.lumoproj'));console.log(p.projectname,p.projecttype,p.filter.lut,p.filter.lutsize)\"");
    EXPECT_EQ(summary, "plain 8 plain_lut.png 33\n");
    // Opening in batch mode writes the table again from the stored look.
    const std::string lutPath = ws.path() + "/Projects/plain/plain_lut.png";
    const std::string lutBytes = readFile(lutPath);
    ASSERT_TRUE(QFile::remove(QString::fromStdString(lutPath)));
    EXPECT_EQ(runTool(ws.path(), {"-o", "plain.lumoproj", "--batch"}), 0);
    EXPECT_EQ(readFile(lutPath), lutBytes);
}

TEST(Tintworks, moreSaturationSpreadsAColourAwayFromItsGrey) {
    ScratchDir ws;
    const Rgba8 lut = createAndRead(ws, "vivid", {"--saturation", "0.5"});
    ASSERT_EQ(lut.width, 1089);
    const struct { int r, g, b; } colours[] = {{24, 8, 16}, {6, 20, 28}, {16, 24, 8}};
    for (const auto& c : colours) {
        const auto e = entry(lut, c.r, c.g, c.b);
        const int in[3] = {c.r * 255 / 32, c.g * 255 / 32, c.b * 255 / 32};
        const auto spread = [](const int* v) { return *std::max_element(v, v + 3) - *std::min_element(v, v + 3); };
        const int out[3] = {e[0], e[1], e[2]};
        EXPECT_GT(spread(out), spread(in) * 1.3) << c.r << "," << c.g << "," << c.b;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                if (in[i] < in[j])
                    EXPECT_LT(out[i], out[j]) << "channel order changed";
        const auto luma = [](const int* v) { return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]; };
        EXPECT_NEAR(luma(out), luma(in), 2.0);
    }
    // Greys stay grey.
    const auto grey = entry(lut, 16, 16, 16);
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
}

TEST(Tintworks, refusesBadNamesEscapesExistingProjectsAndBadFiles) {
    ScratchDir ws;
    ASSERT_EQ(runTool(ws.path(), {"-c", "taken.lumoproj", "--batch"}), 0);
    QDir(QString::fromStdString(ws.path())).mkpath("Projects/garbage");
    writeFile(ws.path() + "/Projects/garbage/garbage.lumoproj", std::string("\x89\x00{\"projecttype\":[[[", 18));
    QDir(QString::fromStdString(ws.path())).mkpath("Projects/twod");
    writeFile(ws.path() + "/Projects/twod/twod.lumoproj", "{\"projectname\":\"twod\",\"projecttype\":1,\"2D\":[]}");
    writeFile(ws.path() + "/outside.lumoproj", "{\"projecttype\":8}");
    QDir(QString::fromStdString(ws.path())).mkpath("Projects/evil");
    QFile::link(QString::fromStdString(ws.path() + "/outside.lumoproj"),
                QString::fromStdString(ws.path() + "/Projects/evil/evil.lumoproj"));
    const struct {
        QStringList args;
        int exit;
    } cases[] = {
        {{"-c", "../x.lumoproj"}, 1},
        {{"-c", "/tmp/x.lumoproj"}, 1},
        {{"-c", "a/b.lumoproj"}, 1},
        {{"-c", ".lumoproj"}, 1},
        {{"-c", "...lumoproj"}, 1},
        {{"-c", QString(65, 'n') + ".lumoproj"}, 1},
        {{"-c", "a\tb.lumoproj"}, 1},
        {{"-c", "taken.lumoproj"}, 1},
        {{"-o", "missing.lumoproj"}, 1},
        {{"-o", "garbage.lumoproj"}, 1},
        {{"-o", "twod.lumoproj"}, 1},
        {{"-o", "evil.lumoproj"}, 1},
        {{"-o", "./outside.lumoproj"}, 1},
        {{"-o", "taken.txt"}, 1},
        {{"-c", "fine.lumoproj", "--saturation", "2"}, 2},
        {{"-c", "fine.lumoproj", "-o", "taken.lumoproj"}, 2},
        {{}, 2},
    };
    const QStringList before = QDir(QString::fromStdString(ws.path() + "/Projects")).entryList();
    const std::string takenFile = readFile(ws.path() + "/Projects/taken/taken.lumoproj");
    for (const auto& c : cases) {
        EXPECT_EQ(runTool(ws.path(), c.args + QStringList{"--batch"}), c.exit) << c.args.join(' ').toStdString();
        EXPECT_EQ(QDir(QString::fromStdString(ws.path() + "/Projects")).entryList(), before)
            << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(readFile(ws.path() + "/Projects/taken/taken.lumoproj"), takenFile);
    EXPECT_EQ(readFile(ws.path() + "/outside.lumoproj"), "{\"projecttype\":8}");
}

TEST(Tintworks, dialogSavesTheLookSetWithTheSliders) {
    guiApp();
    ScratchDir ws;
    tint::FilterProject project;
    std::string error;
    ASSERT_TRUE(tint::createProject(ws.path() + "/Projects", "warm.lumoproj", {}, project, error)) << error;
    TintworksDialog dialog(project, QString::fromStdString(ws.path()));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, 10000));
    const QImage before = dialog.findChild<QLabel*>("p_label_after")->pixmap()->toImage();
    auto* temperature = dialog.findChild<QSlider*>("p_slider_temperature");
    ASSERT_NE(temperature, nullptr);
    temperature->setFocus();
    QTest::keyClick(temperature, Qt::Key_End);
    QTest::mouseClick(dialog.findChild<QPushButton*>("p_btn_save"), Qt::LeftButton);
    EXPECT_NE(dialog.findChild<QLabel*>("p_label_after")->pixmap()->toImage(), before);

    tint::FilterProject reopened;
    ASSERT_TRUE(tint::openProject(ws.path() + "/Projects", "warm.lumoproj", reopened, error)) << error;
    EXPECT_DOUBLE_EQ(reopened.look.temperature, 1.0);
    const Rgba8 lut = decodeWithStb(readFile(reopened.lutPath()));
    ASSERT_EQ(lut.width, 1089);
    const auto mid = entry(lut, 16, 16, 16);
    EXPECT_GT(mid[0], mid[2] + 20) << "a warm look makes grey reddish";
    QTest::mouseClick(dialog.findChild<QPushButton*>("p_btn_close"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(Tintworks, projectReaderAnswersEveryTruncationAndFlippedByte) {
    tint::FilterProject p;
    p.name = "cut";
    p.look.saturation = 0.25;
    const std::string json = tint::projectJson(p);
    tint::Look look;
    std::string name, error;
    ASSERT_TRUE(tint::parseProjectJson(json, look, name, error)) << error;
    EXPECT_EQ(look.saturation, 0.25);
    for (size_t n = 0; n < json.size(); ++n) {
        error.clear();
        EXPECT_FALSE(tint::parseProjectJson(json.substr(0, n), look, name, error)) << n;
        EXPECT_FALSE(error.empty()) << n;
        std::string flipped = json;
        flipped[n] = char(flipped[n] ^ 0x5a);
        tint::parseProjectJson(flipped, look, name, error);  // either reading is fine; no crash, no hang
        EXPECT_LE(std::fabs(look.saturation), 1.0);
    }
}
