#include "tools/convert/Report.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

#include "tools/common/JsonWriter.h"
#include "tools/convert/FileNames.h"

namespace lumicade::convert {

std::string reportLine(const std::string& input, const std::string& output, const Outcome& outcome) {
    std::ostringstream line;
    json::Writer j(line);
    j.beginObject();
    j.value("input", input);
    j.valueOrNull("output", output);
    j.value("status", statusWord(outcome.status));
    j.valueOrNull("reason", outcome.reason);
    j.beginArray("losses");
    for (const cad::Loss& loss : outcome.losses.entries()) {
        j.beginObject();
        j.value("kind", cad::lossKindWord(loss.kind)), j.value("what", loss.what);
        j.value("count", static_cast<long long>(loss.count)), j.value("text", loss.text);
        j.endObject();
    }
    j.endArray();
    if (outcome.entities < 0) j.null("entities");
    else j.value("entities", outcome.entities);
    j.value("milliseconds", static_cast<long long>(std::llround(outcome.milliseconds)));
    j.beginArray("references");
    for (const std::string& reference : outcome.references) j.value(nullptr, reference);
    j.endArray();
    j.endObject();
    line << '\n';
    return line.str();
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
