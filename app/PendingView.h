#pragma once
// Stand-in for a view whose widget class is not part of the build yet: an
// empty dark panel that names what will appear there. The form declares the
// real class name (lumovexawidget for the live preview) with
// app/PendingPreview.h as its include; when the real widget lands, the
// header line of its <customwidget> entry in resources/LumoEditor.ui becomes
// the real header (preview/lumovexawidget.h) and nothing else changes.

#include <QPainter>
#include <QWidget>

class PendingView : public QWidget {
public:
    explicit PendingView(QWidget* parent = nullptr) : QWidget(parent) {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(0x30, 0x30, 0x34));
        setPalette(p);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QColor(0x90, 0x90, 0x98));
        painter.drawText(rect(), Qt::AlignCenter, objectName());
    }
};
