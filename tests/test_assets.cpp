// The editor's compiled-in icons, style sheets, translations and help page,
// checked against what the forms and the code ask for, and against the tools
// that made them (rsvg-convert for the icons, lrelease's output loaded by
// QTranslator).

#include "GuiTestSupport.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace testing_support;

namespace {

const QString kSource = LUMO_SOURCE_DIR;

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Every ":/LumoEditor/..." path written in the forms and the widget code.
std::set<QString> referencedResources() {
    std::set<QString> paths;
    const QRegularExpression re(":/LumoEditor/[A-Za-z0-9_./-]+\\.(png|ico)");
    for (const QString dir : {"resources", "app", "scene", "preview", "viewer", "tools/tintworks"}) {
        QDirIterator it(kSource + "/" + dir, {"*.ui", "*.cpp", "*.h", "*.qss"}, QDir::Files);
        while (it.hasNext()) {
            auto matches = re.globalMatch(readText(it.next()));
            while (matches.hasNext())
                paths.insert(matches.next().captured(0));
        }
    }
    return paths;
}

struct Message {
    QString context, source, translation;
};

// The finished messages of a translation source.
std::vector<Message> readTs(const QString& path) {
    std::vector<Message> out;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&f);
    QString context;
    Message m;
    bool unfinished = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            m = {context, xml.readElementText(), {}};
        else if (xml.name() == QLatin1String("translation")) {
            unfinished = xml.attributes().value("type") == QLatin1String("unfinished");
            m.translation = xml.readElementText();
            if (!unfinished && !m.translation.isEmpty())
                out.push_back(m);
        }
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString();
    return out;
}

// Translatable texts of the forms: (form class context, text).
std::set<std::pair<QString, QString>> formTexts() {
    std::set<std::pair<QString, QString>> texts;
    for (const QFileInfo& ui : QDir(kSource + "/resources").entryInfoList({"*.ui"})) {
        QFile f(ui.filePath());
        f.open(QIODevice::ReadOnly);
        QXmlStreamReader xml(&f);
        QString cls;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("class") && cls.isEmpty())
                cls = xml.readElementText();
            else if (xml.name() == QLatin1String("string") && xml.attributes().value("notr") != QLatin1String("true")) {
                const QString text = xml.readElementText();
                if (!text.isEmpty())
                    texts.insert({cls, text});
            }
        }
    }
    return texts;
}

}  // namespace

TEST(Assets, everyIconTheFormsAndCodeNameIsCompiledInAndDecodes) {
    guiApp();
    std::set<QString> paths = referencedResources();
    // The icons the menus, trees and lists use besides those.
    for (const char* name : {"add", "remove", "arrow-up", "arrow-down", "play", "pause", "refresh", "inbox",
                             "folder", "compose-3", "image", "grid-2", "phone", "phone2", "timeline", "enable",
                             "disable", "folder-duplicate", "stiffy", "fork", "document-add", "search"})
        paths.insert(QString(":/LumoEditor/data/qt/%1.png").arg(name));
    paths.insert(":/LumoEditor/data/qt/icon.ico");
    for (const QString& path : paths) {
        QImageReader reader(path);
        const QImage image = reader.read();
        EXPECT_FALSE(image.isNull()) << path.toStdString() << ": " << reader.errorString().toStdString();
        EXPECT_GE(image.width(), 16) << path.toStdString();
    }
    QImageReader ico(":/LumoEditor/data/qt/icon.ico");
    EXPECT_GE(ico.imageCount(), 4);
    EXPECT_EQ(QImage(kSource + "/data/qt/icon/128.png").size(), QSize(128, 128));
}

TEST(Assets, renderedIconsMatchTheirSvgSources) {
    ScratchDir scratch;
    const QStringList svgs = QDir(kSource + "/resources/icons").entryList({"*.svg"});
    ASSERT_GT(svgs.size(), 20);
    for (const QString& svg : svgs) {
        const QString name = svg.chopped(4);
        const QString committed = name == "lumo" ? kSource + "/data/qt/icon/128.png" : kSource + "/data/qt/" + name + ".png";
        const int size = name == "lumo" ? 128 : 32;
        const std::string out = scratch.file(name.toStdString() + ".png");
        const std::string cmd = "rsvg-convert -w " + std::to_string(size) + " -h " + std::to_string(size) + " '" +
                                (kSource + "/resources/icons/" + svg).toStdString() + "' -o '" + out + "' && echo ok";
        ASSERT_EQ(runCommand(cmd), "ok\n") << "rsvg-convert (librsvg2-bin) failed on " << svg.toStdString();
        EXPECT_EQ(QImage(committed).convertToFormat(QImage::Format_ARGB32),
                  QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_ARGB32))
            << committed.toStdString() << " is stale: run tools/make_icons.sh";
    }
}

TEST(Assets, styleSheetsParseWithoutWarnings) {
    guiApp();
    static QStringList warnings;
    const QtMessageHandler old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        warnings << m;
    });
    for (const char* name : {"scrollbar.qss", "slider.qss", "imagebtn.qss"}) {
        const QString sheet = readText(kSource + "/data/qt/" + name);
        ASSERT_FALSE(sheet.isEmpty()) << name;
        QScrollBar bar(Qt::Vertical);
        bar.setStyleSheet(sheet);
        bar.resize(12, 200);
        bar.grab();
    }
    qInstallMessageHandler(old);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST(Assets, translationsLoadAndEveryChineseTextDiffersFromTheEnglish) {
    QTranslator en, cn;
    ASSERT_TRUE(en.load(kSource + "/data/language/en.qm"));
    ASSERT_TRUE(cn.load(kSource + "/data/language/cn.qm"));
    const std::vector<Message> chinese = readTs(kSource + "/resources/translations/cn.ts");
    ASSERT_GT(chinese.size(), 50u);
    std::set<std::pair<QString, QString>> translated;
    for (const Message& m : chinese) {
        const QByteArray ctx = m.context.toUtf8(), src = m.source.toUtf8();
        const QString e = en.translate(ctx, src), c = cn.translate(ctx, src);
        EXPECT_EQ(c, m.translation) << src.constData();
        EXPECT_FALSE(e.isEmpty()) << src.constData();
        EXPECT_NE(e, c) << src.constData();
        translated.insert({m.context, m.source});
    }
    for (const char* tip : {"tipAddItem", "tipDeleteItem", "tipMoveUpItem", "tipMoveDownItem", "tipPlayVideo",
                            "tipStopVideo", "tipSynCrerentBundle", "tipLoadBundle", "tipPackOption"}) {
        EXPECT_GT(en.translate("LumoEditorClass", tip).size(), 10) << tip;
        EXPECT_GT(cn.translate("LumoEditorClass", tip).size(), 3) << tip;
    }
    // Every text of the forms has its Chinese text, but for coordinate
    // letters and names that are never translated.
    const std::set<QString> untranslated = {"X", "Y", "Z", "null", "+", "-", "2D", "3D", "P2A", "Filter", "xxx"};
    for (const auto& [context, text] : formTexts())
        if (!untranslated.count(text))
            EXPECT_TRUE(translated.count({context, text})) << context.toStdString() << ": " << text.toStdString();
}

TEST(Assets, helpPageShowsOnlyPicturesThatExist) {
    const QString page = readText(kSource + "/data/doc/LumoEditor User Specification.md.html");
    ASSERT_TRUE(page.startsWith("<!DOCTYPE html>"));
    for (const char* topic : {"Starting LumoEditor", "Projects", "Item kinds", "Triggers and face actions", "Packing",
                              "Preview", "The command line"})
        EXPECT_TRUE(page.contains(QString(">%1</h2>").arg(topic))) << topic;
    auto images = QRegularExpression("<img[^>]* src=\"([^\"]+)\"").globalMatch(page);
    while (images.hasNext()) {
        const QString src = images.next().captured(1);
        EXPECT_TRUE(QFileInfo(kSource + "/data/doc/" + src).isFile()) << src.toStdString();
    }
}

TEST(Assets, aChineseFontShowsEveryCharacterOfTheChineseTexts) {
    guiApp();
    const QStringList families = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
    ASSERT_FALSE(families.isEmpty()) << "no Chinese font (setup installs fonts-wqy-microhei)";
    const QFontMetrics metrics{QFont(families.first())};
    for (const Message& m : readTs(kSource + "/resources/translations/cn.ts"))
        for (const uint c : m.translation.toUcs4())
            if (c > 0x7f)
                EXPECT_TRUE(metrics.inFontUcs4(c)) << families.first().toStdString() << " lacks U+" << std::hex << c;
}
