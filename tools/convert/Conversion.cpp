#include "tools/convert/Conversion.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "cad/DrawingFile.h"
#include "cad/render/Layouts.h"
#include "cad/render/Plot.h"
#include "cad/render/TextFonts.h"
#include "convert/JpegFile.h"
#include "tools/convert/FileNames.h"
#include "tools/convert/PaintWithoutQt.h"
#include "tools/convert/PictureFormats.h"
#include "tools/convert/PictureRecord.h"
#include "tools/convert/QtPictures.h"
#include "tools/convert/UpToDate.h"

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
    // The reader says only that it cannot open a file; the system says why.
    if (::access(job.input.c_str(), R_OK) != 0)
        return failed("cannot open " + displayName(job.input) + ": " + std::strerror(errno));
    // Taken before the drawing is read: a change while it is converted
    // shows at the next run.
    const std::string record = pictureRecord(job.input, o);
    std::error_code error;
    const std::string drawingFolder = std::filesystem::absolute(std::filesystem::path(job.input), error).parent_path().string();
    cad::Drawing drawing;
    try {
        drawing = cad::openDrawing(job.input, {o.references, drawingFolder});
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    outcome.entities = entityCount(drawing);
    outcome.references = drawing.referencedFiles;

    cad::render::RenderOptions options;
    options.drawingFolder = drawingFolder;
    options.references = {o.references, drawingFolder};
    options.longSide = o.size;
    options.window = o.window;
    options.view = o.view;
    options.background = o.blackBackground ? QColor(0, 0, 0) : QColor(255, 255, 255);
    options.colors = o.colors;
    const bool all = o.layout == "*";
    options.layout = all ? std::string("Model") : o.layout;
    if (!options.layout.empty() && !cad::render::chooseSpace(drawing, options.layout).block)
        return failed("it has no layout named " + o.layout);

    const std::string title = completeBaseName(fileNamePart(job.input));
    std::vector<std::string> notes;
    std::vector<std::string> substitutions;  // those the Qt module made, as it reports them
    const HuffmanTables tables = o.fast ? HuffmanTables::Standard : HuffmanTables::Optimised;
    cad::render::PlotRequest plotRequest;
    plotRequest.paper = o.paper;
    // A PDF's lines are vectors: its resolution only sets the finest pen and
    // how finely curves are drawn.
    plotRequest.dotsPerInch = o.format == Format::Pdf ? 600 : o.dpi;
    plotRequest.drawingFolder = drawingFolder;
    plotRequest.styleFolders = o.plotStyleDirs;
    const cad::render::RenderOptions asAsked = options;
    auto write = [&](const std::string& output, const std::string& pictureTitle) -> std::string {
        if (o.plots()) {
            // Each space on its own set-up's paper, with its own pens.
            const std::string space = options.layout;
            options = asAsked;
            options.layout = space;
            for (const std::string& note : cad::render::preparePlot(drawing, options, plotRequest))
                if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
        }
        std::vector<unsigned char> bytes;
        cad::Losses lost;
        try {
            // JPEG pictures of drawings that need nothing of Qt are painted
            // here; the rest through Qt's module, loaded at the first of them.
            if (o.format != Format::Jpeg ||
                !paintWithoutQt(drawing, options, o.blackBackground, o.quality, tables, bytes, &lost)) {
                std::string why;
                const PaintWithQt paint = qtPainter(&why);
                if (!paint) return "cannot load the Qt painter: " + why;
                QtPictureRequest request;
                request.drawing = &drawing;
                request.options = &options;
                request.format = o.format;
                request.quality = o.quality;
                request.tables = tables;
                request.title = pictureTitle;
                request.record = record;
                request.fontFolders = o.fontDirs;
                QtPictureResult result;
                paint(request, result);
                for (const std::string& line : result.substitutions)
                    if (std::find(substitutions.begin(), substitutions.end(), line) == substitutions.end())
                        substitutions.push_back(line);
                if (!result.failure.empty()) return result.failure;
                bytes = std::move(result.bytes);
                lost = std::move(result.losses);
            }
            addRecord(o.format, bytes, record);
            // The reader's losses are in every picture's list, and a layout
            // may show what the model picture lost again: each loss once,
            // as the first picture that lacks it counts it.
            const cad::Losses before = outcome.losses;
            for (const cad::Loss& loss : lost.entries())
                if (!before.contains(loss.kind, loss.what))
                    outcome.losses.add(loss.kind, loss.what, loss.text, loss.count);
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
    std::vector<std::string> lines;
    for (const cad::Loss& loss : outcome.losses.entries()) lines.push_back(describeLoss(loss));
    lines.insert(lines.end(), notes.begin(), notes.end());
    for (std::size_t i = 0; i < lines.size(); ++i) outcome.reason += (i ? "; " : "") + lines[i];

    // Substitutions are named once by each worker; the supervisor names each once in all.
    static std::vector<std::string> named;
    for (const std::string& line : cad::render::fontSubstitutions()) substitutions.push_back(line);
    for (const std::string& line : substitutions)
        if (std::find(named.begin(), named.end(), line) == named.end()) {
            named.push_back(line);
            outcome.fontSubstitutions.push_back(line);
        }

    // The picture is written either way; a drawing shown only in part is named.
    outcome.status = outcome.losses.empty() ? Outcome::Status::Converted : Outcome::Status::Incomplete;
    outcome.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

}  // namespace lumicade::convert
