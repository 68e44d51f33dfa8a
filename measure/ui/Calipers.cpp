// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/Calipers.h"

#include "measure/Summary.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace velkard::measure::ui {

namespace {
// A press and release closer than this (pixels) is a click.
constexpr int kClickDistance = 3;
} // namespace

QString caliperText(const CaliperReading& r, velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translate(l, "velkard::measure::ui::Calipers", source);
    };
    const QString bpm = r.ms > 0 ? QString::number(std::lround(r.bpm)) : QStringLiteral("--");
    // The language's decimal separator in the millivolts.
    const QString mv =
        QString::fromStdString(velkard::measure::fixedText(r.mv, 2, "—"))
            .replace('.', text(QT_TRANSLATE_NOOP("velkard::measure::ui::Calipers", ",")));
    return text(
               QT_TRANSLATE_NOOP("velkard::measure::ui::Calipers", "Δt %1 мс  %2 уд/мин  ΔU %3 мВ"))
        .arg(std::lround(r.ms))
        .arg(bpm, mv);
}

QString caliperText(const CaliperReading& r, bool russian) {
    return caliperText(r,
                       russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

Calipers::Calipers(QWidget* area) : QWidget(area) {
    setObjectName("calipers");
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::ClickFocus);
    followArea();
    area->installEventFilter(this);
    setActive(false);
    raise();
}

void Calipers::redraw() {
    if (repaint_)
        repaint_();
    else
        update();
}

bool Calipers::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        followArea();
    return QWidget::eventFilter(watched, event);
}

void Calipers::setMargins(int top, int bottom) {
    top_ = top;
    bottom_ = bottom;
    followArea();
}

void Calipers::followArea() {
    setGeometry(parentWidget()->rect().adjusted(0, top_, 0, -bottom_));
}

void Calipers::setScale(double msPerPixel, double mvPerPixel) {
    msPerPixel_ = msPerPixel;
    mvPerPixel_ = mvPerPixel;
    if (start_)
        redraw();
}

void Calipers::setActive(bool active) {
    active_ = active;
    if (!active)
        clear();
    // Inactive, the mouse goes through to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents, !active);
}

void Calipers::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void Calipers::applyLanguage(velkard::ui::Language language) {
    language_ = language;
    if (start_)
        redraw();
}

void Calipers::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QWidget::changeEvent(event);
}

void Calipers::clear() {
    dragging_ = false;
    if (!start_ && !end_)
        return;
    start_.reset();
    end_.reset();
    redraw();
}

std::optional<CaliperReading> Calipers::reading() const {
    if (!start_ || !end_)
        return std::nullopt;
    CaliperReading r;
    r.ms = std::abs(end_->x() - start_->x()) * msPerPixel_;
    r.bpm = r.ms > 0 ? 60000.0 / r.ms : 0.0;
    // Screen y grows downwards; up is positive.
    r.mv = (start_->y() - end_->y()) * mvPerPixel_;
    return r;
}

QString Calipers::readingText() const {
    const auto r = reading();
    return r ? caliperText(*r, language_) : QString();
}

void Calipers::mousePressEvent(QMouseEvent* event) {
    if (!active_ || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    start_ = end_ = event->position().toPoint();
    dragging_ = true;
    redraw();
}

void Calipers::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    end_ = event->position().toPoint();
    redraw();
}

void Calipers::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    end_ = event->position().toPoint();
    if ((*end_ - *start_).manhattanLength() < kClickDistance)
        clear(); // a click clears
    else
        redraw();
}

void Calipers::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && start_) {
        clear();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Calipers::paintEvent(QPaintEvent*) {
    if (!start_ || !end_)
        return;
    QPainter p(this);
    const QColor ink(0, 0, 160);
    p.setPen(QPen(ink, 1, Qt::DashLine));
    // Two vertical lines at the ends and the line between the points.
    p.drawLine(start_->x(), 0, start_->x(), height());
    p.drawLine(end_->x(), 0, end_->x(), height());
    p.setPen(QPen(ink, 1));
    p.drawLine(*start_, *end_);
    p.drawLine(start_->x() - 4, start_->y(), start_->x() + 4, start_->y());
    p.drawLine(end_->x() - 4, end_->y(), end_->x() + 4, end_->y());

    const QString text = readingText();
    QFont font = p.font();
    font.setBold(true);
    p.setFont(font);
    const QRect box = p.fontMetrics().boundingRect(text).adjusted(-4, -2, 4, 2);
    QPoint at(std::max(start_->x(), end_->x()) + 8, std::min(start_->y(), end_->y()) - 8);
    // Keep the reading inside the drawing area.
    at.setX(std::min(at.x(), width() - box.width() - 2));
    at.setY(std::max(at.y(), box.height() + 2));
    const QRect placed = box.translated(at);
    p.fillRect(placed, QColor(255, 255, 224));
    p.setPen(ink);
    p.drawRect(placed.adjusted(0, 0, -1, -1));
    p.drawText(placed, Qt::AlignCenter, text);
}

} // namespace velkard::measure::ui
