#include "app/AttrController.h"

#include "app/BundleParamSink.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectDocument.h"
#include "scene/SplitPath.h"
#include "images/ResourceManager.h"
#include "scenegraph/SceneRegistry.h"
#include "ui_LumoEditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace {

// Holds the busy state for one scope and restores the previous one.
struct Busy {
    explicit Busy(int& s) : state(s), previous(s) { state = AttrController::kBusy; }
    ~Busy() { state = previous; }
    int& state;
    int previous;
};

QString readStyle(const std::string& path) {
    std::string text;
    if (!readWholeFile(path, text, 1 << 20))
        return QString();
    return QString::fromUtf8(text.c_str());
}

} // namespace

AttrController::AttrController(Ui::LumoEditorClass* form, QObject* parent) : QObject(parent), ui(form) {
    for (QDoubleSpinBox* s : {ui->p_spin_x, ui->p_spin_y, ui->p_spin_z}) {
        s->setRange(-100000, 100000);
        s->setDecimals(4);
    }
    for (QDoubleSpinBox* s : {ui->p_spin_width, ui->p_spin_height}) {
        s->setRange(0, 10000);
        s->setDecimals(4);
    }
    ui->p_spin_fps->setRange(0.5, 120);
    ui->p_spin_fps->setDecimals(1);
    ui->p_spin_fps->setValue(20);
    ui->p_spin_loopcount->setRange(1, 1000000000);
    ui->p_spin_3d_px->setRange(-100000, 100000);
    for (QDoubleSpinBox* s : {ui->p_spin_3d_py, ui->p_spin_3d_pz, ui->p_spin_3d_rx, ui->p_spin_3d_ry,
                              ui->p_spin_3d_rz, ui->p_spin_3d_sx, ui->p_spin_3d_sz})
        s->setRange(-10000, 10000);
    ui->p_spin_3d_sy->setMinimum(-10000);
    for (QDoubleSpinBox* s : {ui->p_spin_3d_px, ui->p_spin_3d_py, ui->p_spin_3d_pz, ui->p_spin_3d_rx,
                              ui->p_spin_3d_ry, ui->p_spin_3d_rz, ui->p_spin_3d_sx, ui->p_spin_3d_sy,
                              ui->p_spin_3d_sz})
        s->setDecimals(4);
}

bool AttrController::viewerHasSelection() const { return !SceneRegistry::instance().m_selectedSet.empty(); }

void AttrController::setMovingState() { m_state = kMoving; }
void AttrController::setReadyState() { m_state = kReady; }

int AttrController::sliderPosition(float value, float min, float max) {
    if (!(max != min) || !std::isfinite(value))
        return 0;
    const double pos = double(value - min) / double(max - min) * kSliderSteps;
    if (!(pos > 0))
        return 0;
    return pos >= kSliderSteps ? kSliderSteps : int(pos);
}

float AttrController::sliderValue(int position, float min, float max) {
    if (max == min)
        return min;
    return float(min + double(position) / kSliderSteps * (double(max) - double(min)));
}

void AttrController::showUI(Item* item) {
    if (!item) {
        ui->p_Attr2d->hide();
        ui->p_Attr3d->hide();
        m_current_Item = nullptr;
        return;
    }
    Busy busy(m_state);
    ui->p_Attr2d->show();
    ui->p_Attr3d->show();
    m_current_Item = item;
    if (auto* i = dynamic_cast<Item_2d*>(item)) {
        Trace::out("showUI 2d\n");
        Trace::out("showUI 2d: %s\n", i->name.c_str());
        ui->p_text_texture->setText(QString::fromLocal8Bit(i->texname.c_str()));
        ui->p_chk_aspectratio->setChecked(i->keepratio);
        ui->p_chk_flipHorizontal->setChecked(i->flipHorizontal);
        ui->p_chk_flipVertical->setChecked(i->flipVertical);
        ui->p_spin_x->setValue(i->getX());
        ui->p_spin_y->setValue(i->getY());
        ui->p_spin_z->setValue(i->getZ());
        ui->p_spin_width->setValue(i->getWidth());
        ui->p_spin_height->setValue(i->getHeight());
        ui->p_spin_fps->setValue(i->fps);
        ui->p_text_name->setText(QString::fromLocal8Bit(i->name.c_str()));
    } else if (auto* a = dynamic_cast<Item_ar*>(item)) {
        Trace::out("showUI ar\n");
        Trace::out("showUI ar %s\n", a->name.c_str());
        ui->p_text_name->setText(QString::fromLocal8Bit(a->name.c_str()));
    } else {
        Trace::out("showUI 3d\n");
        Trace::out("showUI 3d %s\n", item->name.c_str());
    }
}

void AttrController::setRowsEnabled() {
    for (QWidget* w : ui->p_Attr2d->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^p_g_"))))
        w->setEnabled(true);
    for (QComboBox* c : {ui->p_combo_triggerstart, ui->p_combo_looptype, ui->p_combo_triggerend})
        for (int k = 0; k < c->count(); ++k)
            setComboEntryDisabled(c, k, false);
}

void AttrController::setLoopCountEnabled(bool on) {
    ui->p_spin_loopcount->setEnabled(on);
    ui->p_label_loopcount->setEnabled(on);
}

void AttrController::updateUI() {
    if (!m_current_Item) {
        Trace::out("m_current_Item == nullptr\n");
        return;
    }
    if (!viewerHasSelection())
        return;
    Busy busy(m_state);
    setRowsEnabled();
    QWidget* const only2d[] = {ui->p_g_position,    ui->p_g_rect,        ui->p_g_fps,
                               ui->p_g_texturefliphorizontal, ui->p_g_textureflipvertical,
                               ui->p_g_keepaspect,  ui->p_g_isbackground, ui->p_g_isfullscreen,
                               ui->p_g_islandscape, ui->p_g_triggerstart, ui->p_g_triggerend,
                               ui->p_g_startaction, ui->p_g_endaction,    ui->p_g_looptype,
                               ui->p_g_loopcount,   ui->p_g_keepfaceaction};
    if (dynamic_cast<Item_2d*>(m_current_Item)) {
        for (QWidget* w : only2d)
            w->show();
        update2d();
    } else if (auto* a = dynamic_cast<Item_ar*>(m_current_Item)) {
        for (QWidget* w : only2d)
            w->hide();
        ui->p_text_name->setText(QString::fromLocal8Bit(a->name.c_str()));
        ui->p_text_texture->setText(QString::fromLocal8Bit(a->texname.c_str()));
    } else {
        update3d();
    }
}

void AttrController::update2d() {
    auto* i = static_cast<Item_2d*>(m_current_Item);
    ui->p_text_texture->setText(QString::fromLocal8Bit(i->texname.c_str()));
    ui->p_chk_flipHorizontal->setChecked(i->flipHorizontal);
    ui->p_chk_flipVertical->setChecked(i->flipVertical);
    ui->p_chk_isbackground->setChecked(i->isbackground);
    ui->p_chk_isfullscreen->setChecked(i->isfullscreen);
    ui->p_chk_islandscape->setChecked(i->islandscape);
    ui->p_chk_aspectratio->setChecked(i->keepratio);
    ui->p_spin_fps->setValue(i->fps);
    ui->p_spin_width->setValue(i->getWidth());
    ui->p_spin_height->setValue(i->getHeight());
    ui->p_spin_x->setValue(i->getX());
    ui->p_spin_y->setValue(i->getY());
    ui->p_spin_z->setValue(i->getZ());
    ui->p_combo_triggerstart->setCurrentIndex(i->triggerStart);
    ui->p_combo_looptype->setCurrentIndex(i->loopType);
    ui->p_combo_triggerend->setCurrentIndex(i->triggerEnd);
    ui->p_spin_loopcount->setValue(i->loopcnt);
    ui->p_combo_faceaction_start->setCurrentText(QString::fromLocal8Bit(i->start_action.c_str()));
    ui->p_combo_faceaction_end->setCurrentText(QString::fromLocal8Bit(i->end_action.c_str()));
    ui->p_chk_needkeepfaceaction->setChecked(i->needtokeepfaceaction);
    setLoopCountEnabled(i->loopType == kLoopCount);

    if (i->isbackground) {
        ui->p_spin_z->setEnabled(false);
        ui->p_label_z->setEnabled(false);
    } else {
        ui->p_spin_z->setEnabled(true);
        ui->p_label_z->setEnabled(true);
    }
    if (i->isfullscreen)
        for (QWidget* w : {ui->p_g_position, ui->p_g_rect, ui->p_g_keepaspect, ui->p_g_isbackground})
            w->setEnabled(false);
    ui->p_g_islandscape->setEnabled(i->isfullscreen);
    ui->p_g_startaction->setEnabled(i->triggerStart == kTriggerFaceAction);
    ui->p_g_endaction->setEnabled(i->triggerEnd == kTriggerFaceAction);
    setComboEntryDisabled(ui->p_combo_triggerstart, 0, true);
    updateTriggerEndChoices();
    if (i->nodetype == kNodeGroup)
        for (QWidget* w : {ui->p_g_fps, ui->p_g_isbackground, ui->p_g_isfullscreen, ui->p_g_keepaspect,
                           ui->p_g_position, ui->p_g_rect, ui->p_g_texture, ui->p_g_texturefliphorizontal,
                           ui->p_g_textureflipvertical})
            w->setEnabled(false);
    if (i->nodetype == kNodeMember || i->nodetype == kNodeLastMember) {
        for (QWidget* w : {ui->p_g_triggerstart, ui->p_g_triggerend, ui->p_g_startaction, ui->p_g_endaction})
            w->setEnabled(false);
        if (i->nodetype == kNodeMember)
            setComboEntryDisabled(ui->p_combo_looptype, 0, true);
        setComboEntryDisabled(ui->p_combo_looptype, 2, true);
        ui->p_combo_looptype->setCurrentIndex(i->loopType);
        // Members play by the group's timing: the panel shows (and the item
        // keeps) no triggers and no actions of their own.
        i->triggerStart = 0;
        i->triggerEnd = 0;
        i->setStartAction("null");
        i->setEndAction("null");
        ui->p_combo_faceaction_start->setCurrentIndex(0);
        ui->p_combo_faceaction_end->setCurrentIndex(0);
        ui->p_combo_triggerstart->setCurrentIndex(0);
        ui->p_combo_triggerend->setCurrentIndex(0);
    }
}

void AttrController::update3d() {
    auto* i = static_cast<Item_3d*>(m_current_Item);
    ui->p_text_name_3d->setText(QString::fromLocal8Bit(i->name.c_str()));
    ui->p_text_mesh_3d->setText(QString::fromLocal8Bit(i->objname.c_str()));
    ui->p_transform->setCurrentIndex(0);
    const math3d::Vec3 t = i->getTranslation(), r = i->getRotation(), s = i->getScale();
    ui->p_spin_3d_px->setValue(t.x);
    ui->p_spin_3d_py->setValue(t.y);
    ui->p_spin_3d_pz->setValue(t.z);
    ui->p_spin_3d_rx->setValue(r.x);
    ui->p_spin_3d_ry->setValue(r.y);
    ui->p_spin_3d_rz->setValue(r.z);
    ui->p_spin_3d_sx->setValue(s.x);
    ui->p_spin_3d_sy->setValue(s.y);
    ui->p_spin_3d_sz->setValue(s.z);
    ui->p_text_weight_3d->setText(QString::fromLocal8Bit(i->weightMapName.c_str()));
    ui->p_g_weight_3d->setEnabled(i->meshRole == kRoleMeshPart);
    if (i->meshRole != kRoleMeshPart)
        ui->p_text_weight_3d->clear();
    ui->p_g_mesh_3d->setEnabled(i->meshRole == kRoleWholeMesh);
    if (i->meshRole != kRoleWholeMesh)
        ui->p_text_mesh_3d->clear();
    if (m_board) {
        m_board->setVisible(i->meshRole != kRoleWholeMesh);
        m_gParam->setVisible(i->meshRole == kRoleGlobalParams);
        m_mParam->setVisible(i->meshRole == kRoleMeshPart);
    }
    for (const TemplateParam& p : i->param) {
        if (QSlider* slider = paramSlider(*i, p.name))
            slider->setValue(sliderPosition(p.valuef, p.min, p.max));
        else if (QLineEdit* edit = paramEdit(*i, p.name))
            edit->setText(QString::fromLocal8Bit(p.values.c_str()));
    }
}

void AttrController::updateTriggerEndChoices() {
    QComboBox* end = ui->p_combo_triggerend;
    for (int k = 0; k < end->count(); ++k)
        setComboEntryDisabled(end, k, false);
    const int start = ui->p_combo_triggerstart->currentIndex();
    if (start == kTriggerNewFace || start == kTriggerFaceAction) {
        setComboEntryDisabled(end, 1, true);
        setComboEntryDisabled(end, 2, true);
        if (end->currentIndex() == 1 || end->currentIndex() == 2)
            end->setCurrentIndex(0);
    } else if (start == kTriggerAlwaysRender) {
        setComboEntryDisabled(end, 2, true);
        if (end->currentIndex() == 2)
            end->setCurrentIndex(0);
    }
}

void AttrController::setComboEntryDisabled(QComboBox* combo, int index, bool disabled) {
    auto* model = qobject_cast<QStandardItemModel*>(combo->model());
    QStandardItem* entry = model ? model->item(index) : nullptr;
    if (!entry)
        return;
    if (disabled) {
        entry->setFlags(entry->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        entry->setData(combo->palette().color(QPalette::Disabled, QPalette::Text), Qt::ForegroundRole);
    } else {
        entry->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        entry->setData(QVariant(), Qt::ForegroundRole);
    }
}

void AttrController::applyTriggerRule(bool start, int idx) {
    auto* i = static_cast<Item_2d*>(m_current_Item);
    QComboBox* action = start ? ui->p_combo_faceaction_start : ui->p_combo_faceaction_end;
    QWidget* row = start ? ui->p_g_startaction : ui->p_g_endaction;
    if (idx != kTriggerFaceAction) {
        action->setCurrentIndex(0);
        row->setEnabled(false);
        setComboEntryDisabled(action, 0, false);
    } else {
        row->setEnabled(true);
        setComboEntryDisabled(action, 0, true);
        const std::string& stored = start ? i->start_action : i->end_action;
        const int found = stored == "null" ? -1 : action->findText(QString::fromLocal8Bit(stored.c_str()));
        action->setCurrentIndex(found > 0 ? found : (action->count() > 1 ? 1 : 0));
    }
}

void AttrController::onCurrentIndexChanged(int idx) {
    auto* i = dynamic_cast<Item_2d*>(m_current_Item);
    if (!i || !viewerHasSelection() || idx < 0)
        return;
    Trace::out("AttrController::onCurrentIndexChanged begin\n");
    QObject* from = sender();
    ++m_depth;
    if (from == ui->p_combo_triggerstart) {
        Trace::out("triggerstart %d\n", idx);
        i->triggerStart = idx;
        applyTriggerRule(true, idx);
        updateTriggerEndChoices();
    } else if (from == ui->p_combo_triggerend) {
        Trace::out("triggerend %d\n", idx);
        i->triggerEnd = idx;
        applyTriggerRule(false, idx);
    } else if (from == ui->p_combo_looptype) {
        Trace::out("looptype %d\n", idx);
        i->loopType = idx;
        if (idx == kLoopCount) {
            setLoopCountEnabled(true);
        } else {
            ui->p_spin_loopcount->setValue(1);
            i->loopcnt = 1;
            setLoopCountEnabled(false);
        }
    } else if (from == ui->p_combo_faceaction_start || from == ui->p_combo_faceaction_end) {
        Trace::out("action event %d\n", idx);
        const std::string text = static_cast<QComboBox*>(from)->currentText().toLocal8Bit().toStdString();
        if (from == ui->p_combo_faceaction_start)
            i->setStartAction(text);
        else
            i->setEndAction(text);
    }
    Trace::out("AttrController::onCurrentIndexChanged end\n");
    // One user choice is one edit, however many combo boxes follow it.
    if (--m_depth == 0 && m_state != kBusy)
        emit attrEdited(from);
}

void AttrController::onChkChanged(bool on) {
    auto* i = dynamic_cast<Item_2d*>(m_current_Item);
    if (!i || m_state != kReady)
        return;
    QObject* from = sender();
    {
        Busy busy(m_state);
        if (from == ui->p_chk_aspectratio) {
            Trace::out("chk ratio\n");
            i->keepratio = on;
        } else if (from == ui->p_chk_flipHorizontal) {
            Trace::out("chk flip horizontal\n");
            i->setFlipHorizontal(on);
        } else if (from == ui->p_chk_flipVertical) {
            Trace::out("chk flip vertical\n");
            i->setFlipVertical(on);
        } else if (from == ui->p_chk_isbackground) {
            Trace::out("troggle background\n");
            i->setBackground(on);
            SceneRegistry::instance().sortRequested = true;
        } else if (from == ui->p_chk_isfullscreen) {
            Trace::out("troggle fullscreen\n");
            if (on) {
                ui->p_g_islandscape->setEnabled(true);
            } else {
                ui->p_chk_islandscape->setChecked(false);
                i->setLandscape(false);
                ui->p_g_islandscape->setEnabled(false);
            }
            i->setFullscreen(on);
            SceneRegistry::instance().sortRequested = true;
        } else if (from == ui->p_chk_islandscape) {
            Trace::out("troggle islandscape\n");
            i->setLandscape(on);
        } else if (from == ui->p_chk_needkeepfaceaction) {
            Trace::out("troggle keepfaceaction\n");
            i->needtokeepfaceaction = on;
        }
    }
    if (from == ui->p_chk_isbackground || from == ui->p_chk_isfullscreen || from == ui->p_chk_islandscape)
        updateUI();
    emit attrEdited(from);
}

void AttrController::onSpinValueChanged(double d) {
    if (m_state != kReady || !m_current_Item || !viewerHasSelection())
        return;
    Trace::out("AttrController::onSpinValueChanged begin\n");
    Trace::out("AttrController::synchronize_attr 1\n");
    QObject* from = sender();
    Busy busy(m_state);
    if (auto* i = dynamic_cast<Item_2d*>(m_current_Item)) {
        Trace::out("update\n");
        if (from == ui->p_spin_width) {
            i->setWidth(float(d));
            if (i->keepratio) {
                i->setHeight(float(d) * i->ratio);
                ui->p_spin_height->setValue(i->getHeight());
            }
        } else if (from == ui->p_spin_height) {
            i->setHeight(float(d));
            if (i->keepratio && i->ratio != 0) {
                i->setWidth(float(d) / i->ratio);
                ui->p_spin_width->setValue(i->getWidth());
            }
        } else if (from == ui->p_spin_fps) {
            i->fps = float(d);
        } else {
            i->setX(float(ui->p_spin_x->value()));
            i->setY(float(ui->p_spin_y->value()));
            i->setZ(float(ui->p_spin_z->value()));
            if (from == ui->p_spin_z)
                SceneRegistry::instance().sortRequested = true;
        }
    } else if (auto* t = dynamic_cast<Item_3d*>(m_current_Item)) {
        if (from == ui->p_spin_3d_px || from == ui->p_spin_3d_py || from == ui->p_spin_3d_pz)
            t->setTranslation(float(ui->p_spin_3d_px->value()), float(ui->p_spin_3d_py->value()),
                              float(ui->p_spin_3d_pz->value()));
        else if (from == ui->p_spin_3d_rx || from == ui->p_spin_3d_ry || from == ui->p_spin_3d_rz)
            t->setRotation(float(ui->p_spin_3d_rx->value()), float(ui->p_spin_3d_ry->value()),
                           float(ui->p_spin_3d_rz->value()));
        else if (from == ui->p_spin_3d_sx || from == ui->p_spin_3d_sy || from == ui->p_spin_3d_sz)
            t->setScale(float(ui->p_spin_3d_sx->value()), float(ui->p_spin_3d_sy->value()),
                        float(ui->p_spin_3d_sz->value()));
    }
    emit attrEdited(from);
}

void AttrController::onIntSpinValueChanged(int value) {
    if (!m_current_Item || !viewerHasSelection() || m_state == kBusy)
        return;
    Trace::out("AttrController::onIntSpinValueChanged begin\n");
    QObject* from = sender();
    if (auto* i = dynamic_cast<Item_2d*>(m_current_Item)) {
        Trace::out("update\n");
        if (from == ui->p_spin_loopcount)
            i->loopcnt = value;
    } else if (auto* t = dynamic_cast<Item_3d*>(m_current_Item)) {
        Trace::out("update 3d\n");
        const std::string name = from ? from->objectName().toLocal8Bit().toStdString() : std::string();
        const auto found = t->paramIndex.find(name);
        if (found != t->paramIndex.end() && found->second >= 0 && size_t(found->second) < t->param.size()) {
            TemplateParam& p = t->param[size_t(found->second)];
            p.valuef = sliderValue(value, p.min, p.max);
            const std::string thing = t->meshRole == kRoleGlobalParams ? "<global>" : t->name;
            if (m_sink)
                m_sink->setParam_f(bundleParamKey(thing, p.name), p.valuef);
        }
    }
    Trace::out("AttrController::onIntSpinValueChanged end\n");
    emit attrEdited(from);
}

void AttrController::onItemUpdateParamEdit() {
    Trace::out("AttrController::onItemUpdateParamEdit begin\n");
    auto* t = dynamic_cast<Item_3d*>(m_current_Item);
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (t && edit && m_state == kReady) {
        Trace::out("update 3d param\n");
        const auto found = t->paramIndex.find(edit->objectName().toLocal8Bit().toStdString());
        if (found != t->paramIndex.end() && found->second >= 0 && size_t(found->second) < t->param.size()) {
            t->param[size_t(found->second)].values = edit->text().toLocal8Bit().toStdString();
            emit attrEdited(edit);
        }
    }
    Trace::out("AttrController::onItemUpdateParamEdit end\n");
}

void AttrController::onItemChangeTexture(const std::string& path) {
    if (!m_current_Item) {
        Trace::out("AttrController::onItemChangeTexture failed, nullptr.\n");
        return;
    }
    if (auto* i = dynamic_cast<Item_2d*>(m_current_Item)) {
        if (applyTexture2d(*i, path))
            Trace::out("AttrController::onItemChangeTexture 2d success.\n");
    } else if (auto* a = dynamic_cast<Item_ar*>(m_current_Item)) {
        a->texname = splitPath(path).base;
        a->texpath = path;
        Trace::out("AttrController::onItemChangeTexture ar success.\n");
    } else if (auto* t = dynamic_cast<Item_3d*>(m_current_Item)) {
        const PathParts parts = splitPath(path);
        t->setTexName(parts.base + parts.ext);
        t->texpath = path;
        Trace::out("AttrController::onItemChangeTexture 3d success.\n");
    }
}

const AttrController::Rows* AttrController::rowsFor(const Item_3d& item) const {
    if (item.meshRole == kRoleGlobalParams)
        return &m_globalRows;
    if (item.meshRole == kRoleMeshPart)
        return &m_materialRows;
    return nullptr;
}

QSlider* AttrController::paramSlider(const Item_3d& item, const std::string& name) const {
    const Rows* rows = rowsFor(item);
    auto it = rows ? rows->find(name) : Rows::const_iterator();
    return rows && it != rows->end() ? it->second.slider : nullptr;
}

QLineEdit* AttrController::paramEdit(const Item_3d& item, const std::string& name) const {
    const Rows* rows = rowsFor(item);
    auto it = rows ? rows->find(name) : Rows::const_iterator();
    return rows && it != rows->end() ? it->second.edit : nullptr;
}

QPushButton* AttrController::paramButton(const Item_3d& item, const std::string& name) const {
    const Rows* rows = rowsFor(item);
    auto it = rows ? rows->find(name) : Rows::const_iterator();
    return rows && it != rows->end() ? it->second.button : nullptr;
}

void AttrController::addRow(QWidget* board, Rows& rows, const TemplateParam& p, int r, const QString& sliderQss,
                            const QString& buttonQss) {
    Row row;
    row.row = new QWidget(board);
    row.row->setGeometry(0, 24 * r + 2, 190, 24);
    const QString name = QString::fromLocal8Bit(p.name.c_str());
    auto* label = new QLabel(name + QStringLiteral(":"), row.row);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    label->setGeometry(4, 0, 55, 108);
    if (p.type == "slider") {
        row.slider = new QSlider(Qt::Horizontal, row.row);
        row.slider->setObjectName(name);
        row.slider->setRange(0, kSliderSteps);
        row.slider->setSingleStep(1);
        row.slider->setStyleSheet(sliderQss);
        row.slider->setGeometry(65, 0, 122, 20);
        connect(row.slider, &QSlider::valueChanged, this, &AttrController::onIntSpinValueChanged);
    } else if (p.type == "edit") {
        row.edit = new QLineEdit(QString::fromLocal8Bit(p.values.c_str()), row.row);
        row.edit->setObjectName(name);
        row.edit->setGeometry(65, 3, 122, 18);
        connect(row.edit, &QLineEdit::editingFinished, this, &AttrController::onItemUpdateParamEdit);
    } else if (p.type == "texture") {
        row.edit = new QLineEdit(QString::fromLocal8Bit(p.values.c_str()), row.row);
        row.edit->setObjectName(name);
        row.edit->setReadOnly(true);
        row.edit->setGeometry(65, 3, 98, 18);
        row.button = new QPushButton(row.row);
        row.button->setObjectName(QStringLiteral("_") + name);
        row.button->setStyleSheet(buttonQss);
        row.button->setGeometry(169, 0, 18, 24);
        connect(row.button, &QPushButton::clicked, this, [this, name] { emit textureRequested(name); });
    }
    rows[p.name] = row;
}

void AttrController::buildBoard(const std::string& root) {
    const std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    delete m_board;
    m_globalRows.clear();
    m_materialRows.clear();
    const int n = int(std::max(holder->globalParams.size(), holder->materialParams.size()));
    m_board = new QWidget;
    m_board->setObjectName(QStringLiteral("paramboard"));
    m_board->setFixedSize(190, 24 * n);
    m_gParam = new QWidget(m_board);
    m_gParam->setObjectName(QStringLiteral("g_param"));
    m_gParam->setGeometry(0, 0, 190, 24 * n);
    m_mParam = new QWidget(m_board);
    m_mParam->setObjectName(QStringLiteral("m_param"));
    m_mParam->setGeometry(0, 0, 190, 24 * n);
    const QString sliderQss = readStyle(pathJoin(root, "/data/qt/slider.qss"));
    const QString buttonQss = readStyle(pathJoin(root, "/data/qt/imagebtn.qss"));
    int r = 0;
    for (const TemplateParam& p : holder->globalParams)
        addRow(m_gParam, m_globalRows, p, r++, sliderQss, buttonQss);
    r = 0;
    for (const TemplateParam& p : holder->materialParams)
        addRow(m_mParam, m_materialRows, p, r++, sliderQss, buttonQss);
    ui->p_scrollArea->setObjectName(QStringLiteral("scrollarea"));
    ui->p_scrollArea->setStyleSheet(
        QStringLiteral("#scrollarea{border-color: #DDDDDD;border-width: 1px;border-style: solid;}"));
    ui->p_scrollArea->setWidget(m_board);
    const std::string qss = pathJoin(root, "/data/qt/scrollbar.qss");
    Trace::out("qsspath:%s\n", qss.c_str());
    ui->p_scrollArea->verticalScrollBar()->setStyleSheet(readStyle(qss));
    ui->p_scrollArea->show();
    m_gParam->hide();
}
