#pragma once
// Drawings read and drawn in a worker process, the program lumicade-export,
// one drawing at a time. The caller still waits for each step, so the order
// of events stays that of the design; but a drawing that crashes the engine,
// passes the time limit or exhausts the worker's memory fails that Open or
// Export alone, with the engine's usual wording and why, and the window goes
// on. A worker that served a drawing well serves the next one, as the
// converter's workers do; one that failed a drawing in any way is ended, and
// the next drawing starts a fresh one.
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
    ~WorkerDrawings() override;  // ends the worker kept for the next drawing
    std::unique_ptr<HostedDrawing> open(const QString& drawingPath) override;

    // The worker program: installed beside the running program, else where
    // it was built; empty when neither is there.
    static std::string workerProgram();

    struct Spare;  // the worker kept between drawings

private:
    DrawingWorkerLimits limits_;
    std::shared_ptr<Spare> spare_;
};

}  // namespace lumicade
