#pragma once
// The two places that drive the CAD application: the start-up check and the
// export of one drawing as a bitmap.
#include <QString>

namespace lumicade {

class CadAutomation;
class Dialogs;

// Class name of the CAD application's automation object.
extern const char* const kCadClassId;  // "AutoCAD.Application"

// Start-up: can the automation object be created? Shows the three-part
// message and returns false when it cannot; never reports an error.
bool CheckAutoCADAvailable(Dialogs& dialogs, CadAutomation& cad);

// Opens the drawing, selects everything and exports it as exportName + ".bmp",
// then closes the drawing and quits the application. Reports its own failures
// (one report per failed step) and always returns normally. Does nothing when
// the CAD application was not available at start-up.
void ConvertDWGtoBMP(Dialogs& dialogs, CadAutomation& cad, bool autoCADAvailable,
                     const QString& drawingPath, const QString& exportName);

}  // namespace lumicade
