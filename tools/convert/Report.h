#pragma once
// --report FILE: one JSON object a line for every drawing of the run, for
// scripts: {"input", "output", "status", "reason", "losses", "entities",
// "milliseconds", "references"}. Unknown values (no picture named, the
// drawing never read) are null. losses lists what an incomplete drawing's
// pictures lack, each as {"kind", "what", "count", "text"}, empty for the
// other statuses; references, the other files drawn, is a list, empty when none.
#include <cstdio>
#include <string>

#include "tools/convert/Outcome.h"

namespace lumicade::convert {

class Report {
public:
    // "-" is standard output. An empty path keeps no report.
    explicit Report(const std::string& path);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    bool opened() const { return file_ != nullptr || path_.empty(); }
    const std::string& openError() const { return error_; }

    void add(const std::string& input, const std::string& output, const Outcome& outcome);
    // Reports the first failed write; false when the report is incomplete.
    bool close();

private:
    std::string path_, error_;
    FILE* file_ = nullptr;
    bool failed_ = false;
};

std::string reportLine(const std::string& input, const std::string& output, const Outcome& outcome);

}  // namespace lumicade::convert
