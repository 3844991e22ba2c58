#pragma once
// The built-in drawing engine in the CAD application's place: there is never
// a running instance to attach to, creating one always works, Open reads the
// drawing with cad::readDrawingFile, Export renders it and writes the bitmap,
// Quit lets go of every drawing it holds.
#include "convert/CadApplication.h"

namespace lumicade {

class EngineCadAutomation : public CadAutomation {
public:
    std::shared_ptr<CadApplication> GetObject(const QString& classId) override;
    std::shared_ptr<CadApplication> CreateObject(const QString& classId) override;
};

}  // namespace lumicade
