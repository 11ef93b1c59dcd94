#pragma once
// The attribute panel on the right of the main window: shows the item
// selected in the scene tree and writes every edit of its widgets into that
// item (2D and AR items in p_Attr2d, 3D items in p_Attr3d), and, for 3D
// projects, the parameter board with one row per template parameter.
//
// The state field keeps the panel from writing back the values it is
// filling in itself (busy) and from fighting a gizmo drag (moving).
// Every applied edit is announced with attrEdited(source widget).

#include <QObject>
#include <QString>

#include <map>
#include <string>

class BundleParamSink;
class Item;
class Item_3d;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;
struct TemplateParam;

namespace Ui {
class LumoEditorClass;
}

class AttrController : public QObject {
    Q_OBJECT
public:
    enum State { kMoving = 1, kReady = 2, kBusy = 3 };
    static constexpr int kSliderSteps = 1000000;

    explicit AttrController(Ui::LumoEditorClass* ui, QObject* parent = nullptr);

    void showUI(Item* item);
    void updateUI();
    Item* currentItem() const { return m_current_Item; }
    int state() const { return m_state; }
    void onItemChangeTexture(const std::string& path);
    void updateTriggerEndChoices();
    static void setComboEntryDisabled(QComboBox* combo, int index, bool disabled);
    void setParamSink(BundleParamSink* sink) { m_sink = sink; }

    // The parameter board: rows of the global and the material parameters.
    // Built once per 3D project; the texture buttons call textureRequested.
    void buildBoard(const std::string& root);
    QWidget* board() const { return m_board; }
    // Widgets of one parameter in the board's row for the item's kind of
    // parameters (global for "Global Params", material for parts); null
    // when the row or widget does not exist.
    QSlider* paramSlider(const Item_3d& item, const std::string& name) const;
    QLineEdit* paramEdit(const Item_3d& item, const std::string& name) const;
    QPushButton* paramButton(const Item_3d& item, const std::string& name) const;

    // Slider positions for a parameter value and back; max == min stands at 0
    // and keeps the value min.
    static int sliderPosition(float value, float min, float max);
    static float sliderValue(int position, float min, float max);

public slots:
    void onSpinValueChanged(double d);
    void onIntSpinValueChanged(int d);
    void onCurrentIndexChanged(int idx);
    void onChkChanged(bool on);
    void setMovingState();
    void setReadyState();
    void onItemUpdateParamEdit();

signals:
    void attrEdited(QObject* source);
    // A texture button of the board asks for a file for the parameter.
    void textureRequested(QString param);

private:
    struct Row {
        QWidget* row = nullptr;
        QSlider* slider = nullptr;
        QLineEdit* edit = nullptr;
        QPushButton* button = nullptr;
    };
    using Rows = std::map<std::string, Row>;
    const Rows* rowsFor(const Item_3d& item) const;
    void addRow(QWidget* board, Rows& rows, const TemplateParam& p, int r, const QString& sliderQss,
                const QString& buttonQss);
    void setRowsEnabled();
    void update2d();
    void update3d();
    void applyTriggerRule(bool start, int idx);
    bool viewerHasSelection() const;
    void setLoopCountEnabled(bool on);

    Ui::LumoEditorClass* ui;
    Item* m_current_Item = nullptr;
    int m_state = kReady;
    int m_depth = 0; // nesting of onCurrentIndexChanged
    BundleParamSink* m_sink = nullptr;
    QWidget* m_board = nullptr;
    QWidget* m_gParam = nullptr;
    QWidget* m_mParam = nullptr;
    Rows m_globalRows;
    Rows m_materialRows;
};
