#include "Skin.h"

#include "platform/VbError.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QStyle>
#include <QStringDecoder>
#include <QWidget>

namespace lumicade {

QString SkinFilePath(const QString& programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("x/o.cjs"));
}

QColor SystemFaceColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

QPalette DesignPalette()
{
    // Not the desktop's palette: a dark one would put light text on the
    // window's white, and light fields in dark boxes.
    QPalette palette = QApplication::style()->standardPalette();
    const QColor white(255, 255, 255);
    palette.setColor(QPalette::Window, white);
    palette.setColor(QPalette::Base, white);
    return palette;
}

void SetBackColor(QWidget& control, const QColor& colour)
{
    QPalette palette = control.palette();
    palette.setColor(QPalette::Window, colour);
    // Buttons fill their background from their own role, not the window's.
    palette.setColor(control.backgroundRole(), colour);
    control.setPalette(palette);
    control.setAutoFillBackground(true);
}

bool IsUsableStyleSheet(const QByteArray& content, QString* sheet)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(content);
    if (decoder.hasError())
        return false;
    // Braces must pair up outside comments and quoted text; the toolkit would
    // quietly drop a broken sheet and leave a half-styled window.
    int depth = 0;
    bool inComment = false;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (inComment) {
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                inComment = false;
                ++i;
            }
        } else if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            inComment = true;
            ++i;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            if (--depth < 0)
                return false;
        }
    }
    if (depth != 0 || inComment || !quote.isNull())
        return false;
    if (sheet)
        *sheet = text;
    return true;
}

bool ApplySkin(QWidget& form, const QString& programFolder)
{
    const QFileInfo skin(SkinFilePath(programFolder));
    // Only a plain file counts; a folder of that name, or a hidden file, is no skin.
    if (!skin.isFile() || skin.isHidden())
        return false;

    // The skinned window is drawn in the desktop's colours throughout.
    form.setPalette(QPalette());
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (control->testAttribute(Qt::WA_SetPalette))
            control->setPalette(QPalette());
    }
    const QColor face = SystemFaceColour();
    SetBackColor(form, face);
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(control) || qobject_cast<QCheckBox*>(control)
            || qobject_cast<QGroupBox*>(control) || qobject_cast<QLabel*>(control))
            SetBackColor(*control, face);
    }

    QFile file(skin.filePath());
    if (!file.open(QIODevice::ReadOnly))
        throw VbError::make(ErrNo::PermissionDenied);
    QString sheet;
    if (!IsUsableStyleSheet(file.readAll(), &sheet))
        throw VbError(ErrNo::InvalidProcedureCall, QStringLiteral("The skin file could not be loaded."));
    form.setStyleSheet(sheet);
    return true;
}

}  // namespace lumicade
