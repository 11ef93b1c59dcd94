#include "tools/tintworks/TintworksDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kPreviewWidth = 360;
constexpr int kPreviewHeight = 270;

double& control(tint::Look& look, int i) {
    double tint::Look::*fields[4] = {&tint::Look::brightness, &tint::Look::contrast, &tint::Look::saturation,
                                     &tint::Look::temperature};
    return look.*fields[i];
}

// The picture fitted into the preview box on a neutral grey ground.
QImage fitted(const QImage& picture) {
    QImage out(kPreviewWidth, kPreviewHeight, QImage::Format_ARGB32);
    out.fill(QColor(128, 128, 128));
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage scaled = picture.scaled(kPreviewWidth, kPreviewHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage((kPreviewWidth - scaled.width()) / 2, (kPreviewHeight - scaled.height()) / 2, scaled);
    return out;
}

}  // namespace

QImage TintworksDialog::colourChart(int width, int height) {
    QImage chart(width, height, QImage::Format_ARGB32);
    const int hueRows = height * 6 / 10;
    const int greyRows = height * 2 / 10;
    for (int y = 0; y < hueRows; ++y) {
        const double lightness = 0.85 - 0.7 * y / std::max(1, hueRows - 1);
        for (int x = 0; x < width; ++x)
            chart.setPixelColor(x, y, QColor::fromHslF(double(x) / width, 0.75, lightness));
    }
    for (int y = hueRows; y < hueRows + greyRows; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = x * 255 / std::max(1, width - 1);
            chart.setPixelColor(x, y, QColor(v, v, v));
        }
    const QColor skin[] = {QColor(255, 224, 196), QColor(234, 192, 160), QColor(198, 145, 110),
                           QColor(160, 106, 74),  QColor(112, 72, 50),   QColor(72, 46, 34)};
    QPainter p(&chart);
    const int top = hueRows + greyRows;
    for (int i = 0; i < 6; ++i)
        p.fillRect(QRect(i * width / 6, top, width / 6 + 1, height - top), skin[i]);
    return chart;
}

TintworksDialog::TintworksDialog(const tint::FilterProject& project, const QString& pictureFolder, QWidget* parent)
    : QDialog(parent), m_project(project) {
    setWindowTitle(tr("Tintworks - %1").arg(QString::fromStdString(project.name)));
    setWindowIcon(QIcon(":/LumoEditor/data/qt/filter.png"));

    m_before = new QLabel(this);
    m_after = new QLabel(this);
    m_before->setObjectName("p_label_before");
    m_after->setObjectName("p_label_after");
    auto* previews = new QHBoxLayout;
    for (auto [label, title] : {std::pair{m_before, tr("Original")}, std::pair{m_after, tr("With the look")}}) {
        auto* box = new QGroupBox(title, this);
        auto* l = new QVBoxLayout(box);
        label->setFixedSize(kPreviewWidth, kPreviewHeight);
        l->addWidget(label);
        previews->addWidget(box);
    }

    m_pictures = new QComboBox(this);
    m_pictures->setObjectName("p_combo_picture");
    m_pictures->addItem(tr("Colour chart"));
    for (const QFileInfo& f : QDir(pictureFolder).entryInfoList({"*.png", "*.jpg"}, QDir::Files, QDir::Name))
        m_pictures->addItem(f.fileName(), f.absoluteFilePath());

    auto* controls = new QGroupBox(tr("Look"), this);
    auto* grid = new QGridLayout(controls);
    const QString names[4] = {tr("Brightness"), tr("Contrast"), tr("Saturation"), tr("Temperature")};
    const char* objectNames[4] = {"p_slider_brightness", "p_slider_contrast", "p_slider_saturation",
                                  "p_slider_temperature"};
    for (int i = 0; i < 4; ++i) {
        m_sliders[i] = new QSlider(Qt::Horizontal, controls);
        m_sliders[i]->setObjectName(objectNames[i]);
        m_sliders[i]->setRange(-100, 100);
        m_sliders[i]->setValue(int(std::lround(control(m_project.look, i) * 100)));
        m_sliders[i]->setMinimumWidth(320);
        m_values[i] = new QLabel(controls);
        m_values[i]->setMinimumWidth(40);
        m_values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(new QLabel(names[i], controls), i, 0);
        grid->addWidget(m_sliders[i], i, 1);
        grid->addWidget(m_values[i], i, 2);
        connect(m_sliders[i], &QSlider::valueChanged, this, &TintworksDialog::onSliderChanged);
    }
    grid->addWidget(new QLabel(tr("Picture"), controls), 4, 0);
    grid->addWidget(m_pictures, 4, 1, 1, 2);

    m_lut = new QLabel(this);
    m_lut->setObjectName("p_label_lut");
    m_lut->setScaledContents(true);  // the strip spans the dialog's width
    m_lut->setFixedHeight(24);
    m_lut->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_lut->setToolTip(tr("The lookup table: 33 tiles of 33 x 33 colours, blue from tile to tile, red across, "
                         "green down"));
    m_status = new QLabel(this);
    m_status->setObjectName("p_label_status");

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    QPushButton* reset = buttons->addButton(tr("Reset"), QDialogButtonBox::ResetRole);
    QPushButton* close = buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
    save->setObjectName("p_btn_save");
    reset->setObjectName("p_btn_reset");
    close->setObjectName("p_btn_close");
    save->setIcon(QIcon(":/LumoEditor/data/qt/stiffy.png"));
    reset->setIcon(QIcon(":/LumoEditor/data/qt/refresh.png"));
    disconnect(buttons, &QDialogButtonBox::accepted, nullptr, nullptr);
    connect(save, &QPushButton::clicked, this, &TintworksDialog::onSave);
    connect(reset, &QPushButton::clicked, this, &TintworksDialog::onReset);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(previews);
    layout->addWidget(controls);
    layout->addWidget(new QLabel(tr("Lookup table"), this));
    layout->addWidget(m_lut);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    connect(m_pictures, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TintworksDialog::onPictureChanged);
    onPictureChanged(0);
    m_dirty = false;
}

void TintworksDialog::onSliderChanged() {
    for (int i = 0; i < 4; ++i)
        control(m_project.look, i) = m_sliders[i]->value() / 100.0;
    m_dirty = true;
    m_status->setText(tr("Not saved"));
    refresh();
}

void TintworksDialog::onPictureChanged(int index) {
    const QString path = m_pictures->itemData(index).toString();
    QImage picture = path.isEmpty() ? QImage() : QImage(path);
    if (picture.isNull())
        picture = colourChart(kPreviewWidth, kPreviewHeight);
    m_picture = fitted(picture);
    refresh();
}

void TintworksDialog::onReset() {
    for (QSlider* s : m_sliders)
        s->setValue(0);
}

bool TintworksDialog::onSave() {
    std::string error;
    if (!tint::saveProject(m_project, error)) {
        m_status->setText(QString::fromStdString(error));
        QMessageBox::warning(this, tr("Warning!"), QString::fromStdString(error));
        return false;
    }
    m_dirty = false;
    m_status->setText(tr("Saved %1").arg(QString::fromStdString(m_project.file)));
    return true;
}

void TintworksDialog::done(int result) {
    if (m_dirty) {
        const auto answer = QMessageBox::question(this, tr("Tintworks"), tr("Save the changed look?"),
                                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !onSave()))
            return;
    }
    QDialog::done(result);
}

void TintworksDialog::refresh() {
    for (int i = 0; i < 4; ++i)
        m_values[i]->setText(QString::number(m_sliders[i]->value()));
    const QImage lut = tint::makeLut(m_project.look);
    m_before->setPixmap(QPixmap::fromImage(m_picture));
    m_after->setPixmap(QPixmap::fromImage(tint::applyLut(lut, m_picture)));
    m_lut->setPixmap(QPixmap::fromImage(lut));
}
