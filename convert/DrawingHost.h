#pragma once
// Where the engine standing in for the CAD application reads and draws its
// drawings: in this process, or in a worker process (see WorkerDrawings.h),
// so that a drawing that crashes, hangs or exhausts its memory takes only
// that process with it. Failures throw VbError with the engine's own
// messages ("Cannot open ...", "Cannot export ...").
#include <QString>
#include <memory>

namespace lumicade {

// One drawing, read and held until it is dropped.
class HostedDrawing {
public:
    virtual ~HostedDrawing() = default;
    // Writes the picture of the whole drawing as a 24-bit BMP file at bitmapPath.
    virtual void exportBitmap(const QString& bitmapPath) = 0;
};

class DrawingHost {
public:
    virtual ~DrawingHost() = default;
    virtual std::unique_ptr<HostedDrawing> open(const QString& drawingPath) = 0;
};

// Reads and draws in the calling process (the worker's own way of working).
class InProcessDrawings : public DrawingHost {
public:
    std::unique_ptr<HostedDrawing> open(const QString& drawingPath) override;
};

}  // namespace lumicade
