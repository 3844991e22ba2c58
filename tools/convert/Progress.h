#pragma once
// What a person watching the run sees on standard error: a bar on a
// terminal, one line a drawing otherwise, failures always with their
// reasons, and the summary at the end.
#include <cstddef>
#include <string>

#include "tools/convert/Outcome.h"

namespace lumicade::convert {

class Progress {
public:
    Progress(std::size_t total, bool terminal, bool verbose) : total_(total), terminal_(terminal), verbose_(verbose) {}

    void finished(const std::string& input, const std::string& output, const Outcome& outcome);
    void summary(double seconds) const;
    std::size_t failed() const { return failed_; }
    std::size_t incomplete() const { return incomplete_; }

private:
    std::string detail(const Outcome& outcome) const;

    std::size_t total_, done_ = 0, failed_ = 0, skipped_ = 0, incomplete_ = 0;
    bool terminal_, verbose_;
};

}  // namespace lumicade::convert
