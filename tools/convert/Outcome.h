#pragma once
// How one drawing of a run ended.
#include <string>

namespace lumicade::convert {

struct Outcome {
    // Status words of the report. A drawing drawn only in part because a
    // work budget stopped it will be reported as its own status beside these.
    enum class Status { Converted, Failed, Skipped };
    Status status = Status::Failed;
    std::string reason;     // for anything but Converted
    long long entities = -1;  // -1: not read
    double milliseconds = 0;
};

const char* statusWord(Outcome::Status status);

}  // namespace lumicade::convert
