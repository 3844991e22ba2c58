#pragma once
// What "Start Converting" needs from the main window. Form1 implements it;
// the batch run never sees a widget, so tests drive it with a plain object.
#include <QImage>
#include <QString>

#include "platform/MousePointer.h"

namespace lumicade {

class Dialogs;
class CadAutomation;

class BatchContext {
public:
    virtual ~BatchContext() = default;

    // ListView1: the live number of rows and the text of row `row`, counted
    // from 1. rowText may throw VbError when the row does not exist.
    virtual int rowCount() const = 0;
    virtual QString rowText(int row) const = 0;

    // The output options as they are at the moment of asking.
    virtual QString text1() const = 0;  // the chosen output folder
    virtual bool option1() const = 0;   // "Save results in this folder"
    virtual bool option2() const = 0;   // "Save results in folder of original file"
    virtual int slider1() const = 0;    // JPEG quality 0..100

    // ProgressBar1.
    virtual void setProgressValue(int value) = 0;
    virtual int progressValue() const = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual QString progressText() const = 0;

    // The hidden picture control Creator: holds the loaded bitmap that the
    // JPEG writer encodes. A null image means "no picture".
    virtual void setCreatorPicture(const QImage& picture) = 0;
    virtual QImage creatorPicture() const = 0;

    // The window's mouse pointer (see MousePointer).
    virtual int mousePointer() const = 0;
    virtual void setMousePointer(int pointer) = 0;

    // Let pending window events run (QCoreApplication::processEvents).
    virtual void yield() = 0;

    // True once the user has closed the main window. A run notices it after
    // each yield and stops without writing anything more. Form1 itself must
    // stay alive until the run has returned.
    virtual bool closeRequested() const = 0;

    // Flags of the main window.
    virtual bool autoCADAvailable() const = 0;
    virtual bool conversionRunning() const = 0;
    virtual void setConversionRunning(bool running) = 0;

    virtual Dialogs& dialogs() = 0;
    // The CAD application's automation entry (the built-in engine in the program).
    virtual CadAutomation& cadAutomation() = 0;
};

// "Start Converting" (PushButton2).
void PushButton2_Click(BatchContext& form);

}  // namespace lumicade
