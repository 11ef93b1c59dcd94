// The attribute panel and the parameter board driven like a user: the rules
// between the fields, the state guard, and parameter rows that stay apart.
#include "test_tree_support.h"

#include "app/BundleParamSink.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>

using namespace testing_support;

namespace {
struct RecordingSink : BundleParamSink {
    std::vector<std::pair<std::string, float>> sent;
    void setParam_f(const std::string& key, float value) override { sent.emplace_back(key, value); }
    void setParam_s(const std::string&, const std::string&) override {}
};
bool entryEnabled(QComboBox* c, int i) {
    return static_cast<QStandardItemModel*>(c->model())->item(i)->flags() & Qt::ItemIsEnabled;
}
TemplateParam param(const char* scope, const char* type, const char* name, float min, float max, float v) {
    TemplateParam p;
    p.scope = scope;
    p.type = type;
    p.name = name;
    p.min = min;
    p.max = max;
    p.valuef = v;
    p.values = std::string(scope) + "-value";
    p.isStr = std::string(type) != "slider";
    return p;
}
} // namespace

class Attr : public TreeTest {
protected:
    Item_2d* add2d() {
        EXPECT_TRUE(editor->createProject(1, "attr"));
        return dynamic_cast<Item_2d*>(tree->itemOf(addTo(0)));
    }
    // A click on the box itself (a check box reacts to its box and text only).
    void check(const char* name) {
        auto* c = w<QCheckBox>(name);
        QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));
    }
    void type(const char* spin, const char* text) {
        QAbstractSpinBox* s = w<QAbstractSpinBox>(spin);
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, text);
        QTest::keyClick(s, Qt::Key_Tab);
    }
};

TEST_F(Attr, keepAspectTiesWidthAndHeightAndAGizmoDragIsNotWrittenBack) {
    Item_2d* item = add2d();
    item->ratio = 0.5f;
    item->keepratio = true;
    tree->refreshSelection();
    type("p_spin_width", "200");
    EXPECT_FLOAT_EQ(item->getHeight(), 100.0f);
    type("p_spin_height", "50");
    EXPECT_FLOAT_EQ(item->getWidth(), 100.0f);
    tree->attr().setMovingState();
    type("p_spin_x", "33");
    EXPECT_FLOAT_EQ(item->getX(), 0.0f);
    tree->attr().setReadyState();
    type("p_spin_x", "34");
    EXPECT_FLOAT_EQ(item->getX(), 34.0f);
}

TEST_F(Attr, triggersActionsAndLoopsFollowTheirRules) {
    Item_2d* item = add2d();
    auto* start = w<QComboBox>("p_combo_triggerstart");
    auto* end = w<QComboBox>("p_combo_triggerend");
    auto* action = w<QComboBox>("p_combo_faceaction_start");
    ASSERT_GT(action->count(), 1);
    start->setCurrentIndex(kTriggerFaceAction);
    EXPECT_EQ(item->start_action, action->itemText(1).toStdString());
    EXPECT_FALSE(entryEnabled(action, 0));
    start->setCurrentIndex(kTriggerAlwaysRender);
    EXPECT_EQ(item->start_action, "null");
    end->setCurrentIndex(kTriggerNewFace);
    EXPECT_EQ(item->triggerEnd, kTriggerNewFace);
    start->setCurrentIndex(kTriggerNewFace);
    EXPECT_EQ(item->triggerEnd, 0);
    EXPECT_FALSE(entryEnabled(end, 1) || entryEnabled(end, 2));
    EXPECT_FALSE(entryEnabled(start, 0));

    auto* loop = w<QComboBox>("p_combo_looptype");
    loop->setCurrentIndex(kLoopCount);
    type("p_spin_loopcount", "5");
    EXPECT_EQ(item->loopcnt, 5);
    loop->setCurrentIndex(kLoopOnceStay);
    EXPECT_EQ(item->loopcnt, 1);
    EXPECT_FALSE(w<QSpinBox>("p_spin_loopcount")->isEnabled());
}

TEST_F(Attr, clearingFullScreenClearsLandscape) {
    Item_2d* item = add2d();
    check("p_chk_isfullscreen");
    ASSERT_TRUE(item->isfullscreen);
    EXPECT_FALSE(w<QWidget>("p_g_position")->isEnabled());
    check("p_chk_islandscape");
    EXPECT_TRUE(item->islandscape);
    check("p_chk_isfullscreen");
    EXPECT_FALSE(item->isfullscreen || item->islandscape);
    EXPECT_FALSE(w<QCheckBox>("p_chk_islandscape")->isChecked());
}

TEST_F(Attr, boardRowsBelongToTheirItemAndSlidersPushLive) {
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    // A global and a material parameter of one name, one named like a form
    // widget, and a slider whose range is empty.
    holder->globalParams.push_back(param("g", "edit", "tint", 0, 0, 0));
    holder->globalParams.push_back(param("g", "slider", "flat", 3, 3, 3));
    holder->materialParams.push_back(param("m", "slider", "p_spin_x", 0, 2, 0.5f));
    RecordingSink sink;
    tree->setParamSink(&sink);
    ASSERT_TRUE(editor->createProject(2, "board"));
    writeFile(ws.file("one.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\ng piece\nf 1 2 3\n");
    tree->select(tree->findItemByName("Global Params"));
    tree->refreshSelection();
    auto* global = dynamic_cast<Item_3d*>(tree->itemOf(tree->selection()));
    ASSERT_NE(global, nullptr);
    QSlider* flat = tree->attr().paramSlider(*global, "flat");
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->value(), 0);
    flat->setValue(1000);
    EXPECT_FLOAT_EQ(global->param[size_t(global->paramIndex.at("flat"))].valuef, 3.0f);

    addTo(2);
    tree->on3dMeshChanged(ws.file("one.obj"));
    tree->select(tree->findItemByName("piece"));
    tree->refreshSelection();
    auto* part = dynamic_cast<Item_3d*>(tree->itemOf(tree->selection()));
    ASSERT_NE(part, nullptr);
    QSlider* s = tree->attr().paramSlider(*part, "p_spin_x");
    ASSERT_NE(s, nullptr);
    EXPECT_NE(static_cast<QWidget*>(s), w<QWidget>("p_spin_x"));
    EXPECT_EQ(s->value(), 250000);
    sink.sent.clear();
    s->setValue(500000);
    EXPECT_FLOAT_EQ(part->param[size_t(part->paramIndex.at("p_spin_x"))].valuef, 1.0f);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].first, "{\"thing\":\"piece\",\"param\":\"p_spin_x\"}");
    EXPECT_FLOAT_EQ(sink.sent[0].second, 1.0f);
    QLineEdit* partTint = tree->attr().paramEdit(*part, "tint");
    QLineEdit* globalTint = tree->attr().paramEdit(*global, "tint");
    ASSERT_TRUE(partTint && globalTint && partTint != globalTint);
    EXPECT_EQ(partTint->text(), "1.0,1.0,1.0");
    EXPECT_EQ(globalTint->text(), "g-value");
    tree->setParamSink(nullptr);
}
