#include "tools/convert/Conversion.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>
#include <unistd.h>

#include "cad/DrawingFile.h"
#include "cad/model/MemoryBudget.h"
#include "cad/render/Layouts.h"
#include "cad/render/Plot.h"
#include "cad/render/TextFonts.h"
#include "convert/JpegFile.h"
#include "tools/convert/FileNames.h"
#include "tools/convert/Painting.h"
#include "tools/convert/PictureFormats.h"
#include "tools/convert/PictureRecord.h"
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

// Whether the layout has something on it; the scene built to tell is let go of at once.
bool layoutShows(const cad::Drawing& drawing, const cad::render::RenderOptions& options) {
    const cad::MemoryLent scene;
    return cad::render::layoutHasContent(drawing, options);
}

// One drawing's conversion: what it was read into, the pictures written so
// far and what they lack.
class DrawingConversion {
public:
    DrawingConversion(const Job& job, const Options& o) : job_(job), o_(o) {}

    Outcome run() {
        if (!job_.refusal.empty()) return failed(job_.refusal);
        // One budget for all the drawing's work, from reading its custom
        // objects' graphics to the last layout's scene.
        const cad::MemoryScope memory(o_.memoryLimit);
        // The reader says only that it cannot open a file; the system says why.
        if (::access(job_.input.c_str(), R_OK) != 0)
            return failed("cannot open " + displayName(job_.input) + ": " + std::strerror(errno));
        if (std::string why = read(); !why.empty()) return failed(why);
        setRenderOptions();
        const bool all = o_.layout == "*";
        options_.layout = all ? std::string("Model") : o_.layout;
        if (!options_.layout.empty() && !cad::render::chooseSpace(drawing_, options_.layout).block)
            return failed("it has no layout named " + o_.layout);
        if (std::string why = all ? allPictures() : picture(job_.output, title()); !why.empty()) return failed(why);
        sumUp();
        return outcome_;
    }

private:
    Outcome failed(std::string reason) {
        outcome_.status = Outcome::Status::Failed;
        outcome_.reason = std::move(reason);
        outcome_.milliseconds = elapsed();
        return outcome_;
    }

    double elapsed() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

    std::string title() const { return completeBaseName(fileNamePart(job_.input)); }

    // The drawing and the record its pictures keep; why not, when it cannot be read.
    std::string read() {
        // Taken before the drawing is read: a change while it is converted
        // shows at the next run.
        record_ = pictureRecord(job_.input, o_);
        std::error_code error;
        drawingFolder_ = std::filesystem::absolute(std::filesystem::path(job_.input), error).parent_path().string();
        try {
            drawing_ = cad::openDrawing(job_.input, {o_.references, drawingFolder_});
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (const std::exception& e) {
            return e.what();
        }
        outcome_.entities = entityCount(drawing_);
        outcome_.references = drawing_.referencedFiles;
        record_ = withReferences(record_, referencedFiles(drawing_, drawingFolder_, o_));
        return {};
    }

    void setRenderOptions() {
        options_.drawingFolder = drawingFolder_;
        options_.references = {o_.references, drawingFolder_};
        options_.longSide = o_.size;
        options_.window = cad::render::Window::between(o_.window.left(), o_.window.top(), o_.window.right(), o_.window.bottom());
        options_.view = o_.view;
        options_.background = o_.blackBackground ? 0xFF000000u : 0xFFFFFFFFu;
        options_.colors = o_.colors;
        options_.budgets.bytes = o_.memoryLimit;
    }

    // Each space on its own set-up's paper, with its own pens.
    void plot() {
        const std::string space = options_.layout;
        options_ = cad::render::RenderOptions();
        setRenderOptions();
        options_.layout = space;
        cad::render::PlotRequest request;
        request.paper = o_.paper;
        // A PDF's lines are vectors: its resolution only sets the finest pen
        // and how finely curves are drawn.
        request.dotsPerInch = o_.format == Format::Pdf ? 600 : o_.dpi;
        request.drawingFolder = drawingFolder_;
        request.styleFolders = o_.plotStyleDirs;
        for (const std::string& note : cad::render::preparePlot(drawing_, options_, request))
            if (std::find(notes_.begin(), notes_.end(), note) == notes_.end()) notes_.push_back(note);
    }

    // Paints one picture; why not, when it cannot. What it lacks joins the
    // drawing's losses; *lacks says whether there is any.
    std::string painted(const std::string& pictureTitle, std::vector<unsigned char>& bytes, bool* lacks) {
        // Each picture's scene is let go of once it is painted: the next
        // layout's starts from what the drawing itself holds.
        const cad::MemoryLent scene;
        if (o_.plots()) plot();
        cad::Losses lost;
        PictureRequest request;
        request.format = o_.format;
        request.quality = o_.quality;
        request.tables = o_.fast ? HuffmanTables::Standard : HuffmanTables::Optimised;
        request.title = pictureTitle;
        request.record = record_;  // a PDF's writer puts it in; the other formats get it added
        try {
            bytes = paintPicture(drawing_, options_, request, &lost);
        } catch (const PictureError& e) {
            return e.what();
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (const std::exception& e) {
            return std::string("cannot draw it: ") + e.what();
        }
        // The reader's losses are in every picture's list, and a layout
        // may show what the model picture lost again: each loss once,
        // as the first picture that lacks it counts it.
        const cad::Losses before = outcome_.losses;
        for (const cad::Loss& loss : lost.entries())
            if (!before.contains(loss.kind, loss.what)) outcome_.losses.add(loss.kind, loss.what, loss.text, loss.count);
        *lacks = !lost.empty();
        return {};
    }

    // Writes a picture, with the record of what it was made from, in place
    // of any earlier one; why not, when it cannot.
    std::string store(const std::string& output, std::vector<unsigned char>& bytes, bool incomplete) {
        addRecord(o_.format, bytes, incomplete ? ofIncompletePicture(record_) : record_);
        const std::filesystem::path folder = std::filesystem::path(output).parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) return "cannot create the folder " + displayName(folder.native()) + ": " + error.message();
        std::string why;
        if (writeNativeFileReplacing(output, bytes, &why) != JpegStatus::Ok)
            return "cannot write " + displayName(output) + (why.empty() ? "" : ": " + why);
        return {};
    }

    std::string picture(const std::string& output, const std::string& pictureTitle) {
        std::vector<unsigned char> bytes;
        bool lacks = false;
        if (std::string why = painted(pictureTitle, bytes, &lacks); !why.empty()) return why;
        return store(output, bytes, lacks);
    }

    // The model picture is written after the layouts' pictures: its record
    // is the one a later run looks at, and says whether any of them lacked
    // something.
    std::string allPictures() {
        std::vector<unsigned char> model;
        bool lacks = false;
        if (std::string why = painted(title(), model, &lacks); !why.empty()) return why;
        const std::string layoutsFailed = layoutPictures();
        const std::string why = store(job_.output, model, !outcome_.losses.empty() || !layoutsFailed.empty());
        return layoutsFailed.empty() ? why : layoutsFailed;
    }

    // One picture per layout with something on it, beside the model
    // picture: plan-Layout1.jpg. Files without layout objects still have
    // their paper space.
    std::string layoutPictures() {
        std::vector<std::pair<std::string, std::string>> layouts;  // name, what to ask the renderer for
        for (const cad::Layout* layout : cad::render::paperLayouts(drawing_)) layouts.emplace_back(layout->name, layout->name);
        if (layouts.empty() && drawing_.paperSpace())
            layouts.emplace_back(drawing_.header.activeLayout.empty() ? "Layout1" : drawing_.header.activeLayout,
                                 drawing_.paperSpace()->name);
        const std::filesystem::path model(job_.output);
        for (const auto& [name, space] : layouts) {
            options_.layout = space;
            if (!layoutShows(drawing_, options_)) continue;
            const std::string output =
                (model.parent_path() / (model.stem().native() + "-" + layoutFileName(name) + model.extension().native())).native();
            if (output == job_.input) return "its layout picture would overwrite the input file " + displayName(output);
            if (std::string why = picture(output, title() + " - " + name); !why.empty()) return why;
            notes_.push_back("layout " + name + " -> " + displayName(output));
        }
        return {};
    }

    // What the pictures lack and the layout pictures written, and the
    // fonts this worker names for the first time.
    void sumUp() {
        std::vector<std::string> lines;
        for (const cad::Loss& loss : outcome_.losses.entries()) lines.push_back(describeLoss(loss));
        lines.insert(lines.end(), notes_.begin(), notes_.end());
        for (std::size_t i = 0; i < lines.size(); ++i) outcome_.reason += (i ? "; " : "") + lines[i];

        // Substitutions are named once by each worker; the supervisor names each once in all.
        static std::vector<std::string> named;
        for (const std::string& line : cad::render::fontSubstitutions())
            if (std::find(named.begin(), named.end(), line) == named.end()) {
                named.push_back(line);
                outcome_.fontSubstitutions.push_back(line);
            }

        // The picture is written either way; a drawing shown only in part is named.
        outcome_.status = outcome_.losses.empty() ? Outcome::Status::Converted : Outcome::Status::Incomplete;
        outcome_.milliseconds = elapsed();
    }

    const Job& job_;
    const Options& o_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    Outcome outcome_;
    std::string record_, drawingFolder_;
    cad::Drawing drawing_;
    cad::render::RenderOptions options_;
    std::vector<std::string> notes_;          // the layout pictures written besides, and where plots differ
};

}  // namespace

Outcome convertDrawing(const Job& job, const Options& o) { return DrawingConversion(job, o).run(); }

}  // namespace lumicade::convert
