#pragma once
// The built-in drawing engine in the CAD application's place: there is never
// a running instance to attach to, creating one always works, Open reads the
// drawing, Export renders it and writes the bitmap, Quit lets go of every
// drawing it holds. By default the drawings are read and drawn in a worker
// process, as the design's are in the CAD application's process: never in
// the window's.
#include <memory>

#include "convert/CadApplication.h"
#include "convert/DrawingHost.h"

namespace lumicade {

class EngineCadAutomation : public CadAutomation {
public:
    EngineCadAutomation();  // drawings in worker processes, with the default limits
    explicit EngineCadAutomation(std::shared_ptr<DrawingHost> drawings);

    std::shared_ptr<CadApplication> GetObject(const QString& classId) override;
    std::shared_ptr<CadApplication> CreateObject(const QString& classId) override;

private:
    std::shared_ptr<DrawingHost> drawings_;
};

}  // namespace lumicade
