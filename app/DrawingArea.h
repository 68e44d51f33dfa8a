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
    // The same for a part of it (the sweep's newest strip): only that part is repainted and sent
    // to the screen.
    void showSurface(const QRect& changed) {
        if (changed.isEmpty())
            return;
        ownUpdate_ = true;
        update(changed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!ownUpdate_ && !insidePanels(event->rect()))
            owner_->runPaintHandler();
        ownUpdate_ = false;
        // The painter is clipped to the region asked for: only that much is filled and copied.
        const QImage& surface = owner_->display_->surface();
        QPainter painter(this);
        const QRegion uncovered =
            event->region() - QRect(QPoint(0, 0), surface.deviceIndependentSize().toSize());
        for (const QRect& r : uncovered)
            painter.fillRect(r, Qt::white);
        painter.drawImage(QPoint(0, 0), surface);
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
