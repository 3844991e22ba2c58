#include "tools/convert/Conversion.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "cad/DrawingFile.h"
#include "convert/JpegFile.h"
#include "tools/convert/FileNames.h"
#include "tools/convert/PictureFormats.h"

namespace lumicade::convert {

namespace {

long long entityCount(const cad::Drawing& drawing) {
    long long count = 0;
    for (const auto& [kind, n] : cad::countEntityKinds(drawing)) count += n;
    return count;
}

}  // namespace

Outcome convertDrawing(const Job& job, const Options& o) {
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    auto failed = [&](std::string reason) {
        outcome.status = Outcome::Status::Failed;
        outcome.reason = std::move(reason);
        outcome.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return outcome;
    };
    if (!job.refusal.empty()) return failed(job.refusal);
    if (!cad::render::ensureGuiApplication()) return failed("cannot start Qt's font machinery");

    // The reader says only that it cannot open a file; the system says why.
    if (::access(job.input.c_str(), R_OK) != 0)
        return failed("cannot open " + displayName(job.input) + ": " + std::strerror(errno));
    cad::Drawing drawing;
    try {
        drawing = cad::readDrawingFile(job.input);
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    outcome.entities = entityCount(drawing);

    cad::render::RenderOptions options;
    options.longSide = o.size;
    options.window = o.window;
    options.background = o.blackBackground ? QColor(Qt::black) : QColor(Qt::white);
    options.colors = o.colors;
    std::vector<unsigned char> bytes;
    std::string simplified;
    try {
        bytes = encodeDrawing(drawing, options, o.format, o.quality, completeBaseName(fileNamePart(job.input)),
                              &simplified);
    } catch (const PictureError& e) {
        return failed(e.what());
    } catch (const std::exception& e) {
        return failed(std::string("cannot draw it: ") + e.what());
    }

    const std::filesystem::path folder = std::filesystem::path(job.output).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return failed("cannot create the folder " + displayName(folder.native()) + ": " + error.message());
    std::string why;
    if (writeNativeFileReplacing(job.output, bytes, &why) != JpegStatus::Ok)
        return failed("cannot write " + displayName(job.output) + (why.empty() ? "" : ": " + why));

    // The picture is written either way; a drawing shown only in part is named.
    outcome.status = simplified.empty() ? Outcome::Status::Converted : Outcome::Status::Simplified;
    outcome.reason = simplified;
    outcome.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

}  // namespace lumicade::convert
