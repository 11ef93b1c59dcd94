// Undo and unsaved changes: any sequence of edits undone to the start gives
// the first file back byte for byte and redone gives the last; a deleted
// item comes back whole; closing a changed project asks first.
#include "test_tree_support.h"

#include "scene/Item_2d.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUndoStack>
#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace testing_support;

class Undo : public TreeTest {
protected:
    void trigger(const char* action) { editor->findChild<QAction*>(action)->trigger(); }
    void typeX(const std::string& text) {
        auto* s = w<QDoubleSpinBox>("p_spin_x");
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, QString::fromStdString(text));
        QTest::keyClick(s, Qt::Key_Tab);
    }
    // Answers the next Save / Discard / Cancel question with `button`.
    void answer(QMessageBox::StandardButton button) {
        asked = false;
        auto* timer = new QTimer(editor.get());
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, button] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                timer->stop();
                asked = box->objectName() == "p_box_unsaved";
                QTest::mouseClick(box->button(button), Qt::LeftButton);
                timer->deleteLater();
            }
        });
        timer->start(20);
    }
    bool asked = false;
};

TEST_F(Undo, randomEditsUndoneGiveTheFirstFileAndRedoneTheLast) {
    ASSERT_TRUE(editor->createProject(1, "steps"));
    const std::string path = projectFile("steps");
    const std::string first = readFile(path);
    std::mt19937 rng(1234);
    for (int step = 0; step < 30; ++step) {
        std::vector<QTreeWidgetItem*> entries;
        for (int r : {0, 1})
            for (int k = 0; k + 1 < root(r)->childCount(); ++k) {
                entries.push_back(root(r)->child(k));
                for (int m = 0; m < root(r)->child(k)->childCount(); ++m)
                    entries.push_back(root(r)->child(k)->child(m));
            }
        const int op = entries.empty() ? 0 : int(rng() % 9);
        if (op == 0 || op > 6) {
            addTo(int(rng() % 2));
            continue;
        }
        click(entries[rng() % entries.size()]);
        switch (op) {
        case 1: press("p_btn_delete_item"); break;
        case 2: tree->onTreeViewInsertGroupItem(); break;
        case 3: press("p_btn_moveup_item"); break;
        case 4: press("p_btn_movedown_item"); break;
        case 5: tree->onItemUpdateName("n" + std::to_string(step)); break;
        default: typeX(std::to_string(step * 3)); break;
        }
    }
    const std::string last = tree->currentBytes();
    ASSERT_NE(last, first);
    ASSERT_GT(tree->undoStack()->count(), 10);
    while (tree->undoStack()->canUndo())
        trigger("actionUndo");
    EXPECT_FALSE(tree->isDirty());
    ASSERT_TRUE(tree->onSaveProject());
    EXPECT_EQ(readFile(path), first);
    while (tree->undoStack()->canRedo())
        trigger("actionRedo");
    ASSERT_TRUE(tree->onSaveProject());
    EXPECT_EQ(readFile(path), last);
}

TEST_F(Undo, anUndoneDeleteComesBackWithItsAttributesAndPlace) {
    ASSERT_TRUE(editor->createProject(1, "back"));
    addTo(0);
    addTo(0);
    tree->onTreeViewInsertGroupItem();
    tree->onTreeViewAddItem();
    typeX("42");
    const std::string name = tree->selectedName();
    const std::string before = tree->currentBytes();
    press("p_btn_delete_item");
    ASSERT_EQ(tree->findItemByName(name), nullptr);
    // Window shortcuts apply in the active window. The display's keyboard
    // focus is not this test's to rely on (the suite runs test programs side
    // by side on one X server, and any of them may take it), so the window
    // is made the active one within the application, and the key follows
    // before any event could change that.
    QApplication::setActiveWindow(editor.get());
    QTest::keyClick(editor.get(), Qt::Key_Z, Qt::ControlModifier);
    QTreeWidgetItem* back = tree->findItemByName(name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->parent(), root(0)->child(1));
    EXPECT_EQ(back->parent()->indexOfChild(back), 1);
    auto* item = dynamic_cast<Item_2d*>(tree->itemOf(back));
    EXPECT_FLOAT_EQ(item->getX(), 42.0f);
    EXPECT_EQ(item->nodetype, kNodeLastMember);
    EXPECT_EQ(tree->currentBytes(), before);
}

TEST_F(Undo, aChangedProjectIsMarkedAndClosingAsksFirst) {
    ASSERT_TRUE(editor->createProject(1, "ask"));
    const std::string path = projectFile("ask");
    const std::string saved = readFile(path);
    EXPECT_FALSE(editor->windowTitle().endsWith("*"));
    addTo(0);
    EXPECT_TRUE(editor->windowTitle().endsWith("*"));
    trigger("actionUndo");
    EXPECT_FALSE(editor->windowTitle().endsWith("*")); // back where the file is
    trigger("actionRedo");

    answer(QMessageBox::Cancel);
    EXPECT_FALSE(editor->close());
    EXPECT_TRUE(asked);
    EXPECT_TRUE(editor->isVisible());
    answer(QMessageBox::Discard);
    EXPECT_FALSE(editor->openProject(QStringLiteral("/nonexistent/x.lumoproj")));
    EXPECT_TRUE(asked);
    EXPECT_EQ(readFile(path), saved);
    answer(QMessageBox::Save);
    EXPECT_TRUE(editor->close());
    EXPECT_TRUE(asked);
    EXPECT_NE(readFile(path), saved);
    EXPECT_EQ(readFile(path), tree->currentBytes());
}

TEST_F(Undo, aFailedSaveKeepsThePreviousFileAndSaysSo) {
    ASSERT_TRUE(editor->createProject(1, "keep"));
    const std::string path = projectFile("keep");
    const std::string saved = readFile(path);
    addTo(0);
    // Files may grow to 16 bytes only (this holds for root as well).
    QString message;
    QObject::connect(tree, &TreeViewController::statusMessage, [&](const QString& m) { message = m; });
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = tree->onSaveProject();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "Project Failed");
    EXPECT_EQ(readFile(path), saved);
    EXPECT_TRUE(editor->windowTitle().endsWith("*"));
}
