#include "tools/convert/Report.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/convert/FileNames.h"

namespace lumicade::convert {

std::string reportLine(const std::string& input, const std::string& output, const Outcome& outcome) {
    std::string line = "{\"input\":" + jsonString(input);
    line += ",\"output\":" + (output.empty() ? std::string("null") : jsonString(output));
    line += ",\"status\":\"" + std::string(statusWord(outcome.status)) + "\"";
    line += ",\"reason\":" + (outcome.reason.empty() ? std::string("null") : jsonString(outcome.reason));
    line += ",\"losses\":[";
    for (std::size_t i = 0; i < outcome.losses.entries().size(); ++i) {
        const cad::Loss& loss = outcome.losses.entries()[i];
        line += std::string(i ? "," : "") + "{\"kind\":\"" + cad::lossKindWord(loss.kind) + "\",\"what\":" +
                jsonString(loss.what) + ",\"count\":" + std::to_string(loss.count) + ",\"text\":" + jsonString(loss.text) +
                "}";
    }
    line += "]";
    line += ",\"entities\":" + (outcome.entities < 0 ? std::string("null") : std::to_string(outcome.entities));
    line += ",\"milliseconds\":" + std::to_string(std::llround(outcome.milliseconds));
    line += ",\"references\":[";
    for (std::size_t i = 0; i < outcome.references.size(); ++i) line += (i ? "," : "") + jsonString(outcome.references[i]);
    line += "]}\n";
    return line;
}

Report::Report(const std::string& path) : path_(path) {
    if (path_.empty()) return;
    file_ = path_ == "-" ? stdout : std::fopen(path_.c_str(), "w");
    if (!file_) error_ = std::strerror(errno);
}

Report::~Report() { close(); }

void Report::add(const std::string& input, const std::string& output, const Outcome& outcome) {
    if (!file_ || failed_) return;
    const std::string line = reportLine(input, output, outcome);
    // Line by line, so a report read while the run goes on is never half a line behind.
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
        std::fprintf(stderr, "lumicade-convert: cannot write the report %s: %s\n", displayName(path_).c_str(),
                     error_.c_str());
    }
}

bool Report::close() {
    if (file_ && file_ != stdout && std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
        std::fprintf(stderr, "lumicade-convert: cannot write the report %s: %s\n", displayName(path_).c_str(),
                     error_.c_str());
    }
    file_ = nullptr;
    return !failed_;
}

}  // namespace lumicade::convert
