#include "VendorControls.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace lumicade {

PushButton::PushButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    // Pointer moves arrive without a pressed button too.
    setMouseTracking(true);
    setAutoDefault(false);
}

void PushButton::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove();
    QPushButton::mouseMoveEvent(event);
    // The button had the move; the window under it must not see it as its own.
    event->accept();
}

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    setRange(0, 1000);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setBarValue(double value)
{
    if (std::isnan(value))
        value = 0.0;
    value_ = std::clamp(value, 0.0, 100.0);
    // Tenths of a percent, so a long list still moves the bar smoothly.
    // QProgressBar repaints itself at once on a new value; here the bar is
    // painted with the rest of the window when the run next yields, instead
    // of in the middle of a drawing's work.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    setValue(static_cast<int>(std::lround(value_ * 10.0)));
    setUpdatesEnabled(updates);
}

void ProgressBar::setBarText(const QString& text)
{
    text_ = text;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(rect(), picture_);
}

}  // namespace lumicade
