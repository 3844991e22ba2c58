#include "tools/convert/Progress.h"

#include <cstdio>

#include "tools/convert/FileNames.h"

namespace lumicade::convert {

const char* statusWord(Outcome::Status status) {
    switch (status) {
    case Outcome::Status::Converted: return "converted";
    case Outcome::Status::Skipped: return "skipped";
    case Outcome::Status::Incomplete: return "incomplete";
    case Outcome::Status::Interrupted: return "interrupted";
    case Outcome::Status::Failed: break;
    }
    return "failed";
}

std::string Progress::detail(const Outcome& outcome) const {
    if (outcome.status != Outcome::Status::Converted) return {};
    // What the picture lacks is said whether asked or not.
    const std::string notes = outcome.reason.empty() ? std::string() : " (" + displayName(outcome.reason) + ")";
    if (!verbose_) return notes;
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, " (%lld entities, %.0f ms)", outcome.entities, outcome.milliseconds);
    return buffer + notes;
}

void Progress::finished(const std::string& inputPath, const std::string& outputPath, const Outcome& outcome) {
    ++done_;
    // A drawing cut short by a signal counts as failed: it has no picture.
    const bool failed = outcome.status == Outcome::Status::Failed || outcome.status == Outcome::Status::Interrupted;
    const bool skipped = outcome.status == Outcome::Status::Skipped;
    const bool incomplete = outcome.status == Outcome::Status::Incomplete;
    failed_ += failed;
    skipped_ += skipped;
    incomplete_ += incomplete;
    const std::string input = displayName(inputPath), output = displayName(outputPath);
    if (terminal_) {
        std::fprintf(stderr, "\r\033[K");
        if (failed) std::fprintf(stderr, "failed: %s: %s\n", input.c_str(), displayName(outcome.reason).c_str());
        else if (incomplete)
            std::fprintf(stderr, "incomplete: %s -> %s: %s\n", input.c_str(), output.c_str(),
                         displayName(outcome.reason).c_str());
        else if (verbose_ && skipped) std::fprintf(stderr, "up to date: %s\n", input.c_str());
        else if (verbose_ || !outcome.reason.empty())
            std::fprintf(stderr, "%s -> %s%s\n", input.c_str(), output.c_str(), detail(outcome).c_str());
        const int width = 30;
        const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
        std::fprintf(stderr, "[%s%s] %zu/%zu %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), done_, total_,
                     displayName(fileNamePart(inputPath)).c_str());
    } else if (failed) {
        std::fprintf(stderr, "[%zu/%zu] failed: %s: %s\n", done_, total_, input.c_str(), displayName(outcome.reason).c_str());
    } else if (incomplete) {
        std::fprintf(stderr, "[%zu/%zu] incomplete: %s -> %s: %s\n", done_, total_, input.c_str(), output.c_str(),
                     displayName(outcome.reason).c_str());
    } else if (skipped) {
        std::fprintf(stderr, "[%zu/%zu] up to date: %s\n", done_, total_, input.c_str());
    } else {
        std::fprintf(stderr, "[%zu/%zu] %s -> %s%s\n", done_, total_, input.c_str(), output.c_str(), detail(outcome).c_str());
    }
    std::fflush(stderr);
}

void Progress::summary(double seconds) const {
    if (terminal_) std::fprintf(stderr, "\r\033[K");
    // Pictures written, then how many of them are whole.
    const std::size_t written = done_ - failed_ - skipped_;
    std::fprintf(stderr, "Converted %zu of %zu drawing%s in %.1f s: %zu converted, %zu incomplete, %zu failed", written,
                 total_, total_ == 1 ? "" : "s", seconds, written - incomplete_, incomplete_, failed_);
    if (skipped_) std::fprintf(stderr, "; %zu up to date", skipped_);
    std::fprintf(stderr, ".\n");
}

}  // namespace lumicade::convert
