#pragma once
// The optional skin: a style sheet in x/o.cjs beside the program. Without it
// the window keeps its plain white design colours.
#include <QColor>
#include <QPalette>
#include <QString>

class QWidget;

namespace lumicade {

// Where the skin file lives for a program in programFolder.
QString SkinFilePath(const QString& programFolder);

// The system's button-face colour, which the skinned window uses in place of white.
QColor SystemFaceColour();

// The window's own light colours, whatever the desktop's palette: the
// style's standard palette with white behind the controls and dark text.
QPalette DesignPalette();

// The back colour of one control (its window role, painted by itself).
void SetBackColor(QWidget& control, const QColor& colour);

// Looks for the skin file; when it is there, gives the form the desktop's
// palette instead of the design one, switches the form, its frames,
// option buttons, check boxes and labels to the face colour and applies the
// file as the form's style sheet. Returns whether a skin was applied. Throws
// VbError when the file is there but cannot be used; the colours are switched
// by then, as the window shows them.
bool ApplySkin(QWidget& form, const QString& programFolder);

// The check the skin text must pass: readable text with balanced braces.
bool IsUsableStyleSheet(const QByteArray& content, QString* sheet);

}  // namespace lumicade
