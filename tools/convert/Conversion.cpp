#include "tools/convert/Conversion.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "cad/DrawingFile.h"
#include "cad/render/Layouts.h"
#include "cad/render/TextFonts.h"
#include "convert/JpegFile.h"
#include "tools/convert/FileNames.h"
#include "tools/convert/PictureFormats.h"

namespace lumicade::convert {

namespace {

// A layout's name as part of a file name: no folder separators or other
// characters that file systems refuse.
std::string layoutFileName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' ||
            static_cast<unsigned char>(c) < 32)
            c = '_';
    return out;
}

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
    // Pictures are painted without a GUI application: the renderer starts
    // one the first time a text needs Qt's fonts. The vector writers may
    // want it on their own.
    if ((o.format == Format::Pdf || o.format == Format::Svg) && !cad::render::ensureGuiApplication())
        return failed("cannot start Qt's font machinery");

    // The reader says only that it cannot open a file; the system says why.
    if (::access(job.input.c_str(), R_OK) != 0)
        return failed("cannot open " + displayName(job.input) + ": " + std::strerror(errno));
    cad::Drawing drawing;
    try {
        drawing = cad::openDrawing(job.input);
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    outcome.entities = entityCount(drawing);
    std::error_code error;

    cad::render::RenderOptions options;
    options.drawingFolder = std::filesystem::absolute(std::filesystem::path(job.input), error).parent_path().string();
    options.longSide = o.size;
    options.window = o.window;
    options.background = o.blackBackground ? QColor(Qt::black) : QColor(Qt::white);
    options.colors = o.colors;
    const bool all = o.layout == "*";
    options.layout = all ? std::string("Model") : o.layout;
    if (!options.layout.empty() && !cad::render::chooseSpace(drawing, options.layout).block)
        return failed("it has no layout named " + o.layout);

    const std::string title = completeBaseName(fileNamePart(job.input));
    std::vector<std::string> notes;
    std::string simplified;  // why a picture leaves part of the drawing out
    auto write = [&](const std::string& output, const std::string& pictureTitle) -> std::string {
        std::vector<unsigned char> bytes;
        try {
            std::string part;
            bytes = encodeDrawing(drawing, options, o.format, o.quality, pictureTitle, &part);
            if (simplified.empty()) simplified = part;
            for (const std::string& p : cad::render::pictureProblems(drawing, options))
                if (std::find(notes.begin(), notes.end(), p) == notes.end()) notes.push_back(p);
        } catch (const PictureError& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("cannot draw it: ") + e.what();
        }
        const std::filesystem::path folder = std::filesystem::path(output).parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) return "cannot create the folder " + displayName(folder.native()) + ": " + error.message();
        std::string why;
        if (writeNativeFileReplacing(output, bytes, &why) != JpegStatus::Ok)
            return "cannot write " + displayName(output) + (why.empty() ? "" : ": " + why);
        return {};
    };
    if (std::string why = write(job.output, title); !why.empty()) return failed(why);
    if (all) {
        // One picture per layout with something on it, beside the model
        // picture: plan-Layout1.jpg. Files without layout objects still have
        // their paper space.
        std::vector<std::pair<std::string, std::string>> layouts;  // name, what to ask the renderer for
        for (const cad::Layout* layout : cad::render::paperLayouts(drawing)) layouts.emplace_back(layout->name, layout->name);
        if (layouts.empty() && drawing.paperSpace())
            layouts.emplace_back(drawing.header.activeLayout.empty() ? "Layout1" : drawing.header.activeLayout,
                                 drawing.paperSpace()->name);
        const std::filesystem::path model(job.output);
        for (const auto& [name, space] : layouts) {
            options.layout = space;
            if (!cad::render::layoutHasContent(drawing, options)) continue;
            const std::string output =
                (model.parent_path() / (model.stem().native() + "-" + layoutFileName(name) + model.extension().native())).native();
            if (output == job.input) return failed("its layout picture would overwrite the input file " + displayName(output));
            if (std::string why = write(output, title + " - " + name); !why.empty()) return failed(why);
            notes.push_back("layout " + name + " -> " + displayName(output));
        }
    }
    if (!simplified.empty()) notes.insert(notes.begin(), simplified);
    for (std::size_t i = 0; i < notes.size(); ++i) outcome.reason += (i ? "; " : "") + notes[i];

    // Substitutions are named once by each worker; the supervisor names each once in all.
    static std::size_t named = 0;
    const std::vector<std::string> substitutions = cad::render::fontSubstitutions();
    for (; named < substitutions.size(); ++named) outcome.fontSubstitutions.push_back(substitutions[named]);

    // The picture is written either way; a drawing shown only in part is named.
    outcome.status = simplified.empty() ? Outcome::Status::Converted : Outcome::Status::Simplified;
    outcome.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

}  // namespace lumicade::convert
