// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's drawing area (its central widget) and the height of the two panels over it.
// Private to app/.
#pragma once

#include "app/MainWindow.h"

#include <QFrame>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

namespace velkard::app {

inline constexpr int kPanelHeight = 30;

// The form's own canvas: shows the display surface. A repaint that the window did not ask for
// (exposure, resize) runs the paint handler first, as the form's OnPaint does.
class DrawingArea : public QWidget {
public:
    explicit DrawingArea(MainWindow* owner) : QWidget(owner), owner_(owner) {
        setObjectName("DrawingArea");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    // Shows what the window has just drawn, without running the paint handler.
    void showSurface() {
        ownUpdate_ = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!ownUpdate_ && !insidePanels(event->rect()))
            owner_->runPaintHandler();
        ownUpdate_ = false;
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.drawImage(QPoint(0, 0), owner_->display_->surface());
    }
    void resizeEvent(QResizeEvent*) override { owner_->windowResized(); }

private:
    bool insidePanels(const QRect& r) const {
        return owner_->toolPanel_->geometry().contains(r) ||
               owner_->buttonPanel_->geometry().contains(r);
    }
    MainWindow* owner_;
    bool ownUpdate_ = false;
};

} // namespace velkard::app
