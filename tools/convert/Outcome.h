#pragma once
// How one drawing of a run ended.
#include <string>

namespace lumicade::convert {

struct Outcome {
    // Status words of the report. Simplified: the picture was written, but
    // a work budget left part of the drawing out (the reason says which).
    enum class Status { Converted, Failed, Skipped, Simplified };
    Status status = Status::Failed;
    std::string reason;     // for anything but Converted
    long long entities = -1;  // -1: not read
    double milliseconds = 0;
};

const char* statusWord(Outcome::Status status);

}  // namespace lumicade::convert
