#include "cad/render/Plot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "cad/render/Layouts.h"
#include "cad/render/Palette.h"
#include "cad/render/SceneOptions.h"

namespace cad::render {

namespace {

constexpr double kMmPerInch = 25.4;
// The largest picture the converter makes (its --size): a larger sheet is
// plotted at a coarser resolution instead.
constexpr int kMaxPixels = 16384;
// A plot without a page set-up of its own: a sheet's usual unprintable
// border, which is a guess at what a default printer keeps blank.
constexpr double kDefaultMarginMm = 5;

struct NamedPaper {
    const char* name;
    double width, height;
};
constexpr NamedPaper kPapers[] = {
    {"A0", 841, 1189},         {"A1", 594, 841},          {"A2", 420, 594},          {"A3", 297, 420},
    {"A4", 210, 297},          {"A5", 148, 210},          {"A6", 105, 148},          {"B4", 250, 353},
    {"B5", 176, 250},          {"LETTER", 215.9, 279.4},  {"LEGAL", 215.9, 355.6},   {"TABLOID", 279.4, 431.8},
    {"LEDGER", 279.4, 431.8},  {"ANSI_A", 215.9, 279.4},  {"ANSI_B", 279.4, 431.8},  {"ANSI_C", 431.8, 558.8},
    {"ANSI_D", 558.8, 863.6},  {"ANSI_E", 863.6, 1117.6}, {"ARCH_A", 228.6, 304.8},  {"ARCH_B", 304.8, 457.2},
    {"ARCH_C", 457.2, 609.6},  {"ARCH_D", 609.6, 914.4},  {"ARCH_E", 914.4, 1219.2},
};

bool usable(double v) { return std::isfinite(v) && v > 0 && v < 1e5; }

bool usableBox(const Box& b) {
    return !b.empty() && std::isfinite(b.width()) && std::isfinite(b.height()) && b.width() > 0 && b.height() > 0 &&
           b.width() < 1e150 && b.height() < 1e150;
}

Box boxOf(Vec2 a, Vec2 b) {
    Box box;
    box.add(a);
    box.add(b);
    return box;
}

// The sheet's margins as the drawing stands on it: a quarter turn
// counterclockwise brings the sheet's top edge to the left, its left edge
// to the bottom (as the layouts' limits show them).
void turnMargins(Plot& p, int quarterTurns) {
    for (int i = 0; i < quarterTurns; ++i) {
        const double l = p.left, b = p.bottom, r = p.right, t = p.top;
        p.left = t, p.bottom = l, p.right = b, p.top = r;
        std::swap(p.pageWidth, p.pageHeight);
    }
}

// The index colour nearest a true colour: a colour-dependent table styles
// true colours by it (a guess; the tables themselves say nothing of them).
int nearestIndex(std::uint32_t rgb) {
    int best = 7;
    long bestDistance = -1;
    for (int i = 1; i < 256; ++i) {
        const std::uint32_t c = aciToRgb(i);
        auto part = [](std::uint32_t v, int shift) { return static_cast<long>((v >> shift) & 0xFF); };
        const long dr = part(c, 16) - part(rgb, 16), dg = part(c, 8) - part(rgb, 8), db = part(c, 0) - part(rgb, 0);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

// The table's file beside the drawing or in the folders asked for; its name
// compared without regard to case, as on the system the drawing comes from.
std::string findTable(const std::string& name, const PlotRequest& request) {
    std::vector<std::string> folders;
    if (!request.drawingFolder.empty()) folders.push_back(request.drawingFolder);
    folders.insert(folders.end(), request.styleFolders.begin(), request.styleFolders.end());
    const std::string wanted = upperName(name);
    for (const std::string& folder : folders) {
        std::error_code error;
        const std::filesystem::path exact = std::filesystem::path(folder) / name;
        if (std::filesystem::is_regular_file(exact, error)) return exact.string();
        std::filesystem::directory_iterator it(folder, error), end;
        for (int seen = 0; !error && it != end && seen < 100000; it.increment(error), ++seen)
            if (upperName(it->path().filename().string()) == wanted && it->is_regular_file(error)) return it->path().string();
    }
    return {};
}

// The table's file name: set-ups may keep the folder it was chosen from.
std::string tableName(const std::string& sheet) {
    const std::size_t slash = sheet.find_last_of("/\\");
    return slash == std::string::npos ? sheet : sheet.substr(slash + 1);
}

void choosePens(Plot& plot, const std::string& sheet, const PlotRequest& request) {
    const std::string name = tableName(sheet);
    if (name.empty()) return;
    const std::string upper = upperName(name);
    const std::string path = findTable(name, request);
    if (path.empty()) {
        // The tables every installation has, known by their effect.
        if (upper == "MONOCHROME.CTB" || upper == "MONOCHROME.STB") plot.colors = ColorMode::Monochrome;
        else if (upper == "GRAYSCALE.CTB" || upper == "GRAYSCALE.STB") plot.colors = ColorMode::Grayscale;
        else if (upper != "ACAD.CTB" && upper != "ACAD.STB")
            plot.notes.push_back("plot style table " + name + " not found: plotted in the drawing's own pens");
        return;
    }
    std::string why;
    std::optional<PlotStyleTable> table = readPlotStyleTable(path, &why);
    if (!table) {
        plot.notes.push_back("plot style table " + name + " " + why + ": plotted in the drawing's own pens");
        return;
    }
    // Objects and layers name their styles in a named table; the drawing's
    // model does not keep those names, so only colour-dependent tables apply.
    if (!table->colorDependent) {
        plot.notes.push_back("named plot styles of " + name + " are not applied: plotted in the drawing's own pens");
        return;
    }
    plot.pens = std::make_shared<const PlotStyleTable>(std::move(*table));
}

// What the set-up plots of the space, in its coordinates; empty: what is drawn.
Box plottedArea(const Drawing& drawing, const Layout* setup, bool paper) {
    const int type = setup ? setup->plotType : 1;
    if (type == 4) return boxOf(setup->plotWindowMin, setup->plotWindowMax);
    if (type == 2 || (paper && type != 1)) {
        // Limits; a layout's are its sheet. The other kinds (display, view)
        // are the screen's, which a file does not keep: what is drawn stands in.
        if (paper && setup) return boxOf(setup->limMin, setup->limMax);
        if (type == 2) return boxOf(drawing.header.limMin, drawing.header.limMax);
    }
    return {};
}

}  // namespace

std::optional<PaperSize> paperNamed(const std::string& name) {
    const std::string upper = upperName(name);
    for (const NamedPaper& p : kPapers)
        if (upper == p.name) return PaperSize{p.width, p.height};
    // "420x297mm", "17x11in", "420x297" (millimetres)
    const std::size_t x = upper.find('X');
    if (x == std::string::npos) return std::nullopt;
    double unit = 1;
    std::string rest = upper.substr(x + 1);
    if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, "MM") == 0) rest.resize(rest.size() - 2);
    else if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, "IN") == 0) rest.resize(rest.size() - 2), unit = kMmPerInch;
    // Read whatever the locale's decimal point.
    auto read = [](std::string_view text, double* out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
        return error == std::errc() && end == text.data() + text.size();
    };
    double w = 0, h = 0;
    if (!read(std::string_view(upper).substr(0, x), &w) || !read(rest, &h)) return std::nullopt;
    w *= unit, h *= unit;
    if (!(w >= 10 && w <= 10000) || !(h >= 10 && h <= 10000)) return std::nullopt;
    return PaperSize{w, h};
}

Plot planPlot(const Drawing& drawing, const std::string& layout, const PlotRequest& request) {
    Plot plot;
    const ChosenSpace space = chooseSpace(drawing, layout);
    const Layout* setup = space.paper ? space.layout : drawing.findLayout("Model");
    const bool ownSheet = setup && usable(setup->paperWidth) && usable(setup->paperHeight);
    const std::optional<PaperSize> asked = request.paper.empty() ? std::nullopt : paperNamed(request.paper);
    const bool askedExactly = asked && upperName(request.paper).find('X') != std::string::npos;

    // The sheet: the set-up's, or the one asked for (always for model
    // space), as the device holds it, then turned as the set-up plots.
    int turns = 0;
    if (ownSheet && !(asked && !space.paper)) {
        plot.pageWidth = setup->paperWidth, plot.pageHeight = setup->paperHeight;
    } else {
        const PaperSize sheet = asked.value_or(PaperSize{210, 297});
        plot.pageWidth = sheet.width, plot.pageHeight = sheet.height;
    }
    if (ownSheet) {
        plot.left = setup->marginLeft, plot.bottom = setup->marginBottom;
        plot.right = setup->marginRight, plot.top = setup->marginTop;
        for (double* m : {&plot.left, &plot.bottom, &plot.right, &plot.top})
            if (!(std::isfinite(*m) && *m >= 0)) *m = 0;
        turns = askedExactly ? 0 : (setup->plotRotation & 3);
    } else {
        plot.left = plot.bottom = plot.right = plot.top = kDefaultMarginMm;
    }
    turnMargins(plot, turns);
    plot.upsideDown = turns >= 2;
    // Margins that leave no printable area are not kept.
    if (plot.left + plot.right >= plot.pageWidth * 0.9 || plot.bottom + plot.top >= plot.pageHeight * 0.9)
        plot.left = plot.bottom = plot.right = plot.top = 0;
    const bool orientByArea = !ownSheet && !askedExactly;

    // The scale: the set-up's, unless it fits (or has no sheet to keep it on).
    bool fit = !ownSheet || !setup || ((setup->plotFlags & 16) && setup->standardScaleType == 0);
    if (!fit) {
        const double factor = (setup->plotFlags & 16) && usable(setup->standardScale) ? setup->standardScale
                                                                                         : setup->scalePaper / setup->scaleDrawing;
        plot.mmPerUnit = factor * (setup->paperUnits == 0 ? kMmPerInch : 1.0);
        if (!(std::isfinite(plot.mmPerUnit) && plot.mmPerUnit > 1e-12 && plot.mmPerUnit < 1e12)) plot.mmPerUnit = 0, fit = true;
    }
    plot.centred = !ownSheet || (setup->plotFlags & 4);
    if (ownSheet && std::isfinite(setup->plotOrigin.x) && std::isfinite(setup->plotOrigin.y)) plot.origin = setup->plotOrigin;
    plot.area = plottedArea(drawing, ownSheet ? setup : nullptr, space.paper);
    if (!usableBox(plot.area)) plot.area = {};
    // A layout at its scale stands on the sheet as it does on screen.
    plot.layoutOrigin = space.paper && !fit && (!setup || setup->plotType == 5);
    if (orientByArea) plot.centred = plot.turnsToDrawing = true;

    // The resolution, coarser for a sheet too large for a picture at it.
    const double longMm = std::max(plot.pageWidth, plot.pageHeight);
    plot.dotsPerInch = std::clamp(request.dotsPerInch, 10, 2400);
    plot.dotsPerInch = std::max(1, std::min(plot.dotsPerInch, static_cast<int>(kMaxPixels * kMmPerInch / longMm)));

    if (ownSheet && (setup->plotFlags & 32)) choosePens(plot, setup->plotStyleSheet, request);
    return plot;
}

std::vector<std::string> plotStyleFiles(const Drawing& drawing, const PlotRequest& request) {
    std::vector<std::string> files;
    for (const Layout& layout : drawing.layouts) {
        const std::string name = tableName(layout.plotStyleSheet);
        if (name.empty() || !(layout.plotFlags & 32)) continue;
        std::string path = findTable(name, request);
        if (path.empty() && !request.drawingFolder.empty()) path = (std::filesystem::path(request.drawingFolder) / name).string();
        if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    }
    return files;
}

std::vector<std::string> preparePlot(const Drawing& drawing, RenderOptions& options, const PlotRequest& request) {
    auto plot = std::make_shared<Plot>(planPlot(drawing, options.layout, request));
    options.longSide = plot->longSidePixels();
    options.margin = 0;
    options.window = Window();
    options.view = ViewChoice::Extents;
    if (options.colors == ColorMode::AsDrawn) options.colors = plot->colors;
    std::vector<std::string> notes = plot->notes;
    options.plot = std::move(plot);
    return notes;
}

int Plot::longSidePixels() const {
    return std::clamp(static_cast<int>(std::lround(std::max(pageWidth, pageHeight) * dotsPerInch / kMmPerInch)), 16, kMaxPixels);
}

Box Plot::window(const Box& extents) const {
    Plot page = *this;
    Box shown = area.empty() ? extents : area;
    if (!usableBox(shown)) {
        // A point or a line still gets a sheet around it; nothing at all, the sheet at its origin.
        const double span = shown.empty() ? 0 : std::max(shown.width(), shown.height());
        const double pad = std::isfinite(span) && span > 0 ? span / 2 : 1;
        const Vec2 c = shown.empty() ? Vec2{pad, pad} : Vec2{(shown.minX + shown.maxX) / 2, (shown.minY + shown.maxY) / 2};
        shown = Box{c.x - pad, c.y - pad, c.x + pad, c.y + pad};
    }
    if (page.turnsToDrawing && (shown.width() > shown.height()) != (page.pageWidth > page.pageHeight)) turnMargins(page, 1);
    const double printableWidth = page.pageWidth - page.left - page.right;
    const double printableHeight = page.pageHeight - page.bottom - page.top;
    double s = page.mmPerUnit;
    if (!(s > 0)) s = std::min(printableWidth / shown.width(), printableHeight / shown.height());
    Vec2 anchor{shown.minX, shown.minY};   // drawing coordinates
    Vec2 onPage{page.left + page.origin.x, page.bottom + page.origin.y};  // where it lands, mm
    if (page.layoutOrigin) {
        anchor = {0, 0};
    } else if (page.centred) {
        anchor = {(shown.minX + shown.maxX) / 2, (shown.minY + shown.maxY) / 2};
        onPage = {page.left + printableWidth / 2, page.bottom + printableHeight / 2};
    }
    Box out{anchor.x - onPage.x / s, anchor.y - onPage.y / s, 0, 0};
    out.maxX = out.minX + page.pageWidth / s;
    out.maxY = out.minY + page.pageHeight / s;
    if (!usableBox(out)) return shown;
    return out;
}

void Plot::pen(PaintColor& color, double& lineweightMm) const {
    if (pens) {
        const int index = color.index ? color.index : nearestIndex(color.rgb);
        if (const PlotStyle* style = pens->forColor(index)) {
            if (!style->objectColor) color = {0xFF000000u | style->rgb, false, color.index};
            if (style->grayscale || style->screen < 100) {
                // On paper: the contrasting colour of the screen is black ink.
                const std::uint32_t ink = color.foreground ? 0xFF000000u : color.rgb;
                int r = static_cast<int>((ink >> 16) & 0xFF), g = static_cast<int>((ink >> 8) & 0xFF), b = static_cast<int>(ink & 0xFF);
                if (style->grayscale) r = g = b = (r * 11 + g * 16 + b * 5) / 32;
                auto screened = [&](int c) { return 255 - (255 - c) * style->screen / 100; };
                color = {opaque(screened(r), screened(g), screened(b)), false, color.index};
            }
            if (style->lineweightMm >= 0) lineweightMm = style->lineweightMm;
        }
    }
    // The painters take a pen's millimetres on a sheet whose long side is
    // the picture's (see penWidth); this sheet is the page.
    lineweightMm *= kPenSheetMm / std::max(pageWidth, pageHeight);
}

}  // namespace cad::render
