#pragma once
// The push button and the progress bar of the main window. They show a
// caption (the button) or a value from 0 to 100 with a line of text (the
// bar), report a press, and report the pointer moving over them.
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace lumicade {

class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(const QString& caption, QWidget* parent = nullptr);

signals:
    // Raised while the pointer moves over the button, pressed or not.
    void MouseMove();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    // The bar's value, a real number from 0 to 100; values outside are held at the ends.
    void setBarValue(double value);
    double barValue() const { return value_; }

    // The line of text shown on the bar ("Progress Bar", "Processing: site.dwg").
    void setBarText(const QString& text);
    QString barText() const { return text_; }

    QString text() const override { return text_; }

private:
    double value_ = 0.0;
    QString text_;
};

// Creator: the hidden picture box that holds the bitmap a drawing was
// exported as, until the JPEG writer has encoded it.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr) : QWidget(parent) {}
    void setPicture(const QImage& picture) { picture_ = picture; update(); }
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

}  // namespace lumicade
