#include "convert/CadExport.h"

#include <memory>

#include "convert/CadApplication.h"
#include "platform/Dialogs.h"
#include "platform/ErrorTrap.h"
#include "platform/VbError.h"

namespace lumicade {

const char* const kCadClassId = "AutoCAD.Application";

namespace {

const QString kNotFoundMessage = QStringLiteral(
    "A valid version of AutoCAD with VBA was not found on this computer. You need to have "
    "AutoCAD with VBA installed to use this software.\r\n\r\nPlease Google search:\r\n"
    "VBA and AutoCAD <your version of AutoCAD here>\r\n\r\n"
    "It is possible to install AutoCAD without VBA so you need to check carefully.");

// Calling a member through a reference that was never set.
template <typename T>
T& deref(const std::shared_ptr<T>& object)
{
    if (!object)
        throw VbError(CadErr::ObjectNotSet,
                      QStringLiteral("Object variable or With block variable not set"));
    return *object;
}

// Attaching or starting: a failure just means no object.
template <typename Get>
std::shared_ptr<CadApplication> quietly(Get get)
{
    try {
        return get();
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

bool CheckAutoCADAvailable(Dialogs& dialogs, CadAutomation& cad)
{
    // Failures are skipped here, never reported: the only question is whether
    // the object can be created at all.
    auto app = quietly([&] { return cad.CreateObject(QString::fromLatin1(kCadClassId)); });
    if (!app) {
        try {
            dialogs.messageBox(kNotFoundMessage, MsgBox::OkOnly);
        } catch (const std::exception&) {
        }
        return false;
    }
    // Released at once, without Quit.
    app.reset();
    return true;
}

void ConvertDWGtoBMP(Dialogs& dialogs, CadAutomation& cad, bool autoCADAvailable,
                     const QString& drawingPath, const QString& exportName)
{
    ErrorTrap trap(dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.ConvertDWGtoBMP "));
    std::shared_ptr<CadApplication> app;
    std::shared_ptr<CadDocument> doc;
    std::shared_ptr<CadSelectionSet> selection;
    const QString classId = QString::fromLatin1(kCadClassId);

    bool available = false;
    trap.step(100, [&] { available = autoCADAvailable; });
    if (!available)
        return;

    // Nothing running to attach to is the usual case and is never reported;
    // then a new instance is started.
    app = quietly([&] { return cad.GetObject(classId); });
    if (!app) {
        app = quietly([&] { return cad.CreateObject(classId); });
        if (!app) {
            trap.step(112, [&] { dialogs.messageBox(QStringLiteral("Error opening AutoCAD"), MsgBox::OkOnly); });
            return;
        }
    }

    trap.step(114, [&] { deref(app).setWindowState(3); });
    trap.step(116, [&] { doc = deref(app).Documents().Open(drawingPath); });
    trap.step(118, [&] { deref(app).Application().setVisible(true); });
    trap.step(120, [&] { selection = deref(doc).SelectionSets().add(QStringLiteral("NEWSS")); });
    trap.step(122, [&] { deref(selection).Select(5); });
    trap.step(124, [&] { deref(doc).Export(exportName, QStringLiteral("BMP"), deref(selection)); });
    trap.step(126, [&] { deref(doc).Close(); });
    trap.step(128, [&] { deref(app).Quit(); });
    trap.step(130, [&] {
        selection.reset();
        doc.reset();
    });
    trap.step(132, [&] { app.reset(); });
}

}  // namespace lumicade
