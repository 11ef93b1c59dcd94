#pragma once
// The look editor: four sliders, the picture before and after the look, the
// lookup table, and Save / Reset / Close.

#include "tools/tintworks/FilterProject.h"

#include <QDialog>
#include <QImage>

class QComboBox;
class QLabel;
class QSlider;

class TintworksDialog : public QDialog {
    Q_OBJECT
public:
    // `pictureFolder`: folder whose PNG pictures can be previewed besides the
    // built-in colour chart (the workspace's data/ref).
    TintworksDialog(const tint::FilterProject& project, const QString& pictureFolder, QWidget* parent = nullptr);

    const tint::FilterProject& project() const { return m_project; }

    // The colour chart shown by default: hues across, light to dark down,
    // a grey ramp and skin tones below.
    static QImage colourChart(int width, int height);

public slots:
    void onSliderChanged();
    void onPictureChanged(int index);
    void onReset();
    bool onSave();

protected:
    void done(int result) override;

private:
    void refresh();

    tint::FilterProject m_project;
    bool m_dirty = false;
    QImage m_picture;
    QSlider* m_sliders[4] = {};
    QLabel* m_values[4] = {};
    QLabel* m_before = nullptr;
    QLabel* m_after = nullptr;
    QLabel* m_lut = nullptr;
    QLabel* m_status = nullptr;
    QComboBox* m_pictures = nullptr;
};
