#pragma once
// A scratch workspace (log/, Projects/, the source tree's data/) made the
// current directory, with a shown main window whose scene tree and attribute
// panel are driven like a user drives them.
#include "app/LumoEditor.h"
#include "app/TreeViewController.h"
#include "scene/MainDataHolder.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::guiApp();
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("LumoEditorTest"));
        QSettings().clear();
        QSettings().setValue(QStringLiteral("language"), QStringLiteral("en"));
        namespace fs = std::filesystem;
        fs::create_directory(ws.file("log"));
        fs::create_directories(ws.file("Projects"));
        fs::create_directory_symlink(LUMO_SOURCE_DIR "/data", ws.file("data"));
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(ws.path())));
        openWindow();
    }
    // A new main window in place of the current one, shown.
    void openWindow() {
        editor.reset();
        editor = std::make_unique<LumoEditor>();
        tree = editor->treeController();
        editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    }
    void TearDown() override {
        editor.reset();
        QDir::setCurrent(previous);
    }
    QTreeWidget* widget() { return editor->findChild<QTreeWidget*>("p_tree_scene"); }
    QTreeWidgetItem* root(int i) { return widget()->topLevelItem(i); }
    void click(QTreeWidgetItem* e) {
        widget()->scrollToItem(e);
        QTest::mouseClick(widget()->viewport(), Qt::LeftButton, {}, widget()->visualItemRect(e).center());
    }
    void press(const char* button) { QTest::mouseClick(editor->findChild<QPushButton*>(button), Qt::LeftButton); }
    // Clicks the root, then the add button: one new item under the root.
    QTreeWidgetItem* addTo(int r) {
        click(root(r));
        press("p_btn_add_item");
        return tree->selection();
    }
    static std::vector<std::string> texts(QTreeWidgetItem* parent) {
        std::vector<std::string> out;
        for (int k = 0; k < parent->childCount(); ++k)
            out.push_back(parent->child(k)->text(0).toStdString());
        return out;
    }
    std::string projectFile(const std::string& name) { return ws.file("Projects/" + name + "/" + name + ".lumoproj"); }
    template <class T>
    T* w(const char* name) { return editor->findChild<T*>(name); }

    testing_support::ScratchDir ws;
    QString previous;
    std::unique_ptr<LumoEditor> editor;
    TreeViewController* tree = nullptr;
};
