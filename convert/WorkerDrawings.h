#pragma once
// Drawings read and drawn in worker processes, one per opened drawing: the
// worker program lumicade-export, started at Open and ended when the drawing
// is dropped. The caller still waits for each step, so the order of events
// stays that of the design; but a drawing that crashes the engine, passes
// the time limit or exhausts the worker's memory fails that Open or Export
// alone, with the engine's usual wording and why, and the window goes on.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/DrawingHost.h"

namespace lumicade {

struct DrawingWorkerLimits {
    // The converter's limit for one drawing, its reading and its drawing together; 0: none.
    double timeoutSeconds = 120;
    // The worker's address space, a backstop behind the engine's own budgets:
    // what no budget counts fails that drawing rather than the machine. 0: none.
    std::uint64_t addressSpaceBytes = std::uint64_t{2} << 30;
    // The user's font folders, searched after each drawing's own folder.
    std::vector<std::filesystem::path> fontFolders;
};

class WorkerDrawings : public DrawingHost {
public:
    explicit WorkerDrawings(DrawingWorkerLimits limits = {});
    std::unique_ptr<HostedDrawing> open(const QString& drawingPath) override;

    // The worker program: installed beside the running program, else where
    // it was built; empty when neither is there.
    static std::string workerProgram();

private:
    DrawingWorkerLimits limits_;
};

}  // namespace lumicade
