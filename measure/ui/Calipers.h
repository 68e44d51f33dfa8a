// SPDX-License-Identifier: GPL-3.0-or-later
// Calipers over the review page: press, drag and release on the drawing area shows the time
// between the two points in ms, the rate 60000 / Δt in beats per minute and the amplitude
// difference in mV, at the scale the traces are drawn with. Esc or a click clears them.
#pragma once

#include "ui/Language.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace velkard::measure::ui {

struct CaliperReading {
    double ms = 0;  // time between the points (positive)
    double bpm = 0; // 60000 / ms (0 when ms is 0)
    double mv = 0;  // amplitude of the end point above the start point
};

class Calipers : public QWidget {
    Q_OBJECT
public:
    // Covers `area` (less the margins) and follows its size.
    explicit Calipers(QWidget* area);

    // How the calipers get repainted. The overlay is transparent, so repainting it repaints the
    // drawing area below; an area that treats repaints it did not ask for as exposures gives a
    // function that repaints it as its own update. Without one the overlay updates itself.
    void setRepaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }
    // Strips at the top and bottom of the area that the calipers leave alone (tool panels).
    void setMargins(int top, int bottom);
    // The drawing scale: milliseconds per pixel across and millivolts per pixel up.
    void setScale(double msPerPixel, double mvPerPixel);
    // Calipers work only while a page is reviewed; switching off clears them and lets the mouse
    // through. The overlay itself stays in place (showing or hiding it would expose the area).
    void setActive(bool active);
    bool active() const { return active_; }
    // Also on QEvent::LanguageChange, in the language installed then.
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    void clear();
    std::optional<CaliperReading> reading() const;
    // The text shown beside the calipers, empty when none.
    QString readingText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void followArea();
    void redraw();

    std::function<void()> repaint_;
    int top_ = 0, bottom_ = 0;
    double msPerPixel_ = 1.0, mvPerPixel_ = 0.01;
    bool active_ = false;
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
    bool dragging_ = false;
    std::optional<QPoint> start_, end_;
};

// "Δt 800 мс  75 уд/мин  ΔU 1,20 мВ" / "Δt 800 ms  75 bpm  ΔU 1.20 mV".
QString caliperText(const CaliperReading& r, velkard::ui::Language language);
QString caliperText(const CaliperReading& r, bool russian); // Russian or English

} // namespace velkard::measure::ui
