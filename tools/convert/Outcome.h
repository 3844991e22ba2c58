#pragma once
// How one drawing of a run ended.
#include <string>
#include <vector>

#include "cad/model/Losses.h"

namespace lumicade::convert {

struct Outcome {
    // Status words of the report. Incomplete: the picture was written, but
    // lacks something of the drawing (losses says what). A work budget
    // reached is such a loss. Interrupted: under way when the run was
    // stopped by a signal.
    enum class Status { Converted, Failed, Skipped, Incomplete, Interrupted };
    Status status = Status::Failed;
    std::string reason;     // for Failed and Skipped, why; otherwise what the pictures lack
                            // and the layout pictures written besides ("; " between)
    cad::Losses losses;
    long long entities = -1;  // -1: not read
    double milliseconds = 0;
    // Fonts not found for this drawing and what stood in for them ("txt -> Hershey rowmans"),
    // each named by a worker the first time it made that substitution.
    std::vector<std::string> fontSubstitutions;
    // The files drawn besides the drawing: external references, pictures, underlays.
    std::vector<std::string> references;
};

const char* statusWord(Outcome::Status status);

// Why a drawing failed when an allocation did: only the backstop behind the
// memory budget makes one fail, so the drawing needed more than a worker
// may take.
inline constexpr const char* kOutOfMemory = "it needs more memory than a worker may take (--memory-limit)";

}  // namespace lumicade::convert
