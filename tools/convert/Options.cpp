#include "tools/convert/Options.h"

#include <QString>
#include <QStringList>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "cad/render/Plot.h"
#include "tools/convert/FileNames.h"

namespace lumicade::convert {

const char* const kUsage =
    "Usage: lumicade-convert [OPTION]... FILE|FOLDER|-...\n"
    "Convert CAD drawings (DWG, DXF) into pictures named after them, beside each\n"
    "drawing or in one folder. With -, further paths are read from standard input,\n"
    "one a line.\n"
    "\n"
    "Output:\n"
    "  -f, --format FORMAT   jpg, png, tiff, bmp, pdf or svg (default jpg); pdf and\n"
    "                        svg keep lines and text as vectors\n"
    "  -o, --output-dir DIR  write the pictures there (default: beside each drawing);\n"
    "                        the subfolders of a scanned folder are kept below DIR\n"
    "      --mirror-tree     with --output-dir, keep every drawing's folder below DIR:\n"
    "                        its path as given, relative to the current folder\n"
    "                        (a/b/plan.dwg -> DIR/a/b/plan.jpg), or whole when it\n"
    "                        lies outside it\n"
    "  -q, --quality N       JPEG quality 0..100, 100 best (default 85)\n"
    "      --fast            JPEG with standard Huffman tables: the same pixels in\n"
    "                        about 70 % larger files, a quarter sooner\n"
    "  -s, --size PX         pixels along the picture's long side (default 2048)\n"
    "      --background COL  white or black (default white)\n"
    "      --monochrome      every colour in black on white (white on black with\n"
    "                        --background black), as a monochrome plot\n"
    "      --grayscale       colours as shades of grey\n"
    "      --window X0,Y0,X1,Y1  show this part of the drawing instead of all of it\n"
    "      --view V          what the picture frames: extents (default: all that\n"
    "                        is drawn) or saved (the view the drawing was saved\n"
    "                        with, as the CAD application opens it; extents\n"
    "                        where the drawing stores none)\n"
    "      --layout L        what to draw: active (default: the space the drawing\n"
    "                        opens in), model, a layout's name, or all: model\n"
    "                        space as plan.jpg plus plan-LAYOUT.jpg for each\n"
    "                        layout that has something on it\n"
    "\n"
    "Plots:\n"
    "      --plot            draw each space as the CAD application plots it: on its\n"
    "                        page set-up's paper and orientation, inside its margins,\n"
    "                        at its plot scale (or fitted where the set-up says so),\n"
    "                        lineweights in millimetres, pens from its plot style\n"
    "                        table (.ctb); pdf is always plotted, its page the paper\n"
    "      --paper P         model space's paper, and any layout's whose set-up names\n"
    "                        none: A0..A6, B4, B5, letter, legal, tabloid, ANSI_A..E,\n"
    "                        ARCH_A..E, or WxHmm / WxHin (default: the set-up's, else\n"
    "                        A4 turned as the drawing is)\n"
    "      --dpi N           the plotted raster pictures' resolution (default 150)\n"
    "      --plot-style-dir DIR  look for plot style tables there too, after each\n"
    "                        drawing's own folder (may be repeated); a table not\n"
    "                        found or damaged is named, and the plot keeps the\n"
    "                        drawing's own pens\n"
    "\n"
    "Input:\n"
    "  -r, --recursive       look into the subfolders of folders too\n"
    "      --extension EXT   the drawings to take from folders (default: dwg and dxf)\n"
    "      --font-dir DIR    look for the drawings' fonts there too, after each\n"
    "                        drawing's own folder (may be repeated)\n"
    "      --references R    the other files a drawing may show (external\n"
    "                        references, pictures, underlays): any (default, as the\n"
    "                        CAD application does), below: only those in the\n"
    "                        drawing's own folder tree, or none; use below or none\n"
    "                        for drawings from outside\n"
    "      --skip-up-to-date leave out a drawing whose picture was made from it and\n"
    "                        the files drawn with it (references, fonts) as they\n"
    "                        are now, with the same options that change pixels,\n"
    "                        by this version (each picture records them); an\n"
    "                        incomplete picture is always made again; -v says\n"
    "                        why the others are not up to date\n"
    "      --shard K/N       convert only part K of N (K from 0 to N-1), chosen by a\n"
    "                        hash of each path: N machines given the same list\n"
    "                        share it without overlap\n"
    "\n"
    "Names: plan.dwg gives plan.jpg, whatever else the run holds and in any order.\n"
    "A drawing keeps its extension when a DWG or DXF of the same name lies beside\n"
    "it (plan.dwg and plan.dxf give plan.jpg and plan.dxf.jpg), the DWG first.\n"
    "Drawings of one name from different folders that would meet in one output\n"
    "folder each get a tag from their whole path (plan~1f0e93a2.jpg); a drawing\n"
    "listed twice is converted once.\n"
    "\n"
    "Running:\n"
    "  -j, --jobs N          drawings converted at once (default: one per core)\n"
    "      --timeout SECONDS give up a drawing that takes longer (default 120;\n"
    "                        0: no limit); the others go on\n"
    "      --memory-limit BYTES\n"
    "                        memory one drawing's work may hold (default 512M;\n"
    "                        K, M and G multiply by 1024 each; 0: no limit); what\n"
    "                        would pass it is left out and the drawing is\n"
    "                        incomplete; a run holds at most about N times it\n"
    "                        with --jobs N, besides its pictures' pixels\n"
    "      --report FILE     one JSON line per drawing: input, output, status\n"
    "                        (converted, incomplete, failed, skipped, interrupted),\n"
    "                        reason, losses, entities, milliseconds, references\n"
    "                        (the other files drawn); - for standard output\n"
    "      --strict          count a drawing drawn incomplete as failed in the exit\n"
    "                        status\n"
    "  -v, --verbose         name every drawing with its entity count and time, and\n"
    "                        each font that was not found and what stood in for it\n"
    "  -h, --help            show this text and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "A drawing is incomplete when its picture lacks something of it: entities not\n"
    "drawn, damaged records, references or fonts not found, a work budget reached;\n"
    "each loss is named.\n"
    "\n"
    "Exit status: 0 when every drawing was converted (incomplete ones too, unless\n"
    "--strict) or up to date, 1 when some failed (each is named with its reason),\n"
    "2 for a usage error, 128 + N when signal N (INT, TERM, HUP) stopped the run.\n"
    "\n"
    "Examples:\n"
    "  lumicade-convert plan.dwg                        plan.jpg beside plan.dwg\n"
    "  lumicade-convert -r -o pictures drawings/        a folder tree into one folder\n"
    "  lumicade-convert -f png -s 256 -o thumbs *.dwg   small PNG pictures\n"
    "  find /archive -name '*.dwg' | lumicade-convert --shard 0/4 --mirror-tree \\\n"
    "      -o /pictures --skip-up-to-date --report part0.jsonl -\n";

namespace {

int parseNumber(const std::string& option, const std::string& text, int low, int high) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (...) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < low || value > high)
        throw UsageError{option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not \"" + displayName(text) + "\""};
    return value;
}

double parseSeconds(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = text.empty() ? -1 : std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0 || value > 1e6)
        throw UsageError{option + " wants seconds, such as 120 or 0.5 (0 for no limit), not \"" + displayName(text) + "\""};
    return value;
}

// A size in bytes: a whole number, with K, M or G (powers of 1024) after it.
std::size_t parseBytes(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    unsigned long long value = 0;
    try {
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) value = std::stoull(text, &used);
    } catch (...) {
        used = 0;
    }
    int shift = 0;
    if (used > 0 && used + 1 == text.size()) {
        const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(text[used])));
        shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : -1;
        if (shift > 0) ++used;
    }
    if (used == 0 || used != text.size() || shift < 0 || value > (~0ULL >> 1 >> shift))
        throw UsageError{option + " wants a size in bytes, such as 512M, 2G or 0 (no limit), not \"" +
                         displayName(text) + "\""};
    return static_cast<std::size_t>(value << shift);
}

Format parseFormat(const std::string& text) {
    const std::string f = asciiLower(text);
    if (f == "jpg" || f == "jpeg") return Format::Jpeg;
    if (f == "png") return Format::Png;
    if (f == "tiff" || f == "tif") return Format::Tiff;
    if (f == "bmp") return Format::Bmp;
    if (f == "pdf") return Format::Pdf;
    if (f == "svg") return Format::Svg;
    throw UsageError{"--format is jpg, png, tiff, bmp, pdf or svg, not \"" + displayName(text) + "\""};
}

void parseShard(const std::string& text, Options& o) {
    const std::size_t slash = text.find('/');
    int k = -1, n = 0;
    if (slash != std::string::npos) {
        try {
            k = parseNumber("--shard", text.substr(0, slash), 0, 1000000);
            n = parseNumber("--shard", text.substr(slash + 1), 1, 1000000);
        } catch (const UsageError&) {
            k = -1;
        }
    }
    if (k < 0 || k >= n)
        throw UsageError{"--shard wants K/N with K from 0 to N-1, such as 0/4, not \"" + displayName(text) + "\""};
    o.shardIndex = k;
    o.shardCount = n;
}

std::string parseLayout(const std::string& text) {
    const QString lower = QString::fromStdString(text).trimmed().toLower();
    if (lower.isEmpty()) throw UsageError{"--layout needs active, model, all or a layout's name"};
    return lower == QLatin1String("active")  ? std::string()
           : lower == QLatin1String("model") ? std::string("Model")
           : lower == QLatin1String("all")   ? std::string("*")
                                             : QString::fromStdString(text).trimmed().toStdString();
}

QRectF parseWindow(const std::string& text) {
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char(','));
    double v[4] = {};
    bool ok = parts.size() == 4;
    for (int k = 0; ok && k < 4; ++k) v[k] = parts[k].trimmed().toDouble(&ok);
    // "inf" and "nan" read as numbers, but enclose no area to show.
    ok = ok && std::isfinite(v[2] - v[0]) && std::isfinite(v[3] - v[1]);
    if (!ok || v[0] == v[2] || v[1] == v[3])
        throw UsageError{"--window wants four numbers X0,Y0,X1,Y1 around an area, not \"" + displayName(text) + "\""};
    return QRectF(QPointF(v[0], v[1]), QPointF(v[2], v[3])).normalized();
}

std::string parseExtension(std::string ext) {
    while (!ext.empty() && (ext.front() == ' ' || ext.front() == '.' || ext.front() == '*')) ext.erase(0, 1);
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    if (ext.empty()) throw UsageError{"--extension needs an extension, such as dwg"};
    return asciiLower(ext);
}

// One of a few words, each standing for a value.
template <class T>
T parseWord(const std::string& text, std::initializer_list<std::pair<const char*, T>> words, const char* complaint) {
    for (const auto& [word, value] : words)
        if (text == word) return value;
    throw UsageError{std::string(complaint) + ", not \"" + displayName(text) + "\""};
}

std::string nonEmpty(std::string text, const char* complaint) {
    if (text.empty()) throw UsageError{complaint};
    return text;
}

// What the options set, before the last checks of parseArguments.
struct Parsed {
    Options o;
    bool monochrome = false, grayscale = false;
};

// Every option: its long name, its letter (0 for none), whether it takes a
// value, and what it does with it. --help is answered before the table.
struct OptionRule {
    const char* name;
    char letter;
    bool takesValue;
    void (*apply)(Parsed& p, const std::string& value);
};

const OptionRule kRules[] = {
    {"--quality", 'q', true, [](Parsed& p, const std::string& v) { p.o.quality = parseNumber("--quality", v, 0, 100); }},
    {"--size", 's', true, [](Parsed& p, const std::string& v) { p.o.size = parseNumber("--size", v, 16, 16384); }},
    {"--jobs", 'j', true, [](Parsed& p, const std::string& v) { p.o.jobs = parseNumber("--jobs", v, 1, 256); }},
    {"--timeout", 0, true, [](Parsed& p, const std::string& v) { p.o.timeoutSeconds = parseSeconds("--timeout", v); }},
    {"--memory-limit", 0, true, [](Parsed& p, const std::string& v) { p.o.memoryLimit = parseBytes("--memory-limit", v); }},
    {"--format", 'f', true, [](Parsed& p, const std::string& v) { p.o.format = parseFormat(v); }},
    {"--output-dir", 'o', true,
     [](Parsed& p, const std::string& v) { p.o.outputDir = nonEmpty(v, "--output-dir needs a folder"); }},
    {"--background", 0, true,
     [](Parsed& p, const std::string& v) {
         p.o.blackBackground = parseWord<bool>(v, {{"white", false}, {"black", true}}, "--background is white or black");
     }},
    {"--layout", 0, true, [](Parsed& p, const std::string& v) { p.o.layout = parseLayout(v); }},
    {"--window", 0, true, [](Parsed& p, const std::string& v) { p.o.window = parseWindow(v); }},
    {"--view", 0, true,
     [](Parsed& p, const std::string& v) {
         using cad::render::ViewChoice;
         p.o.view = parseWord<ViewChoice>(v, {{"extents", ViewChoice::Extents}, {"saved", ViewChoice::Saved}},
                              "--view is extents or saved");
     }},
    {"--recursive", 'r', false, [](Parsed& p, const std::string&) { p.o.recursive = true; }},
    {"--extension", 0, true, [](Parsed& p, const std::string& v) { p.o.extensions = {parseExtension(v)}; }},
    {"--fast", 0, false, [](Parsed& p, const std::string&) { p.o.fast = true; }},
    {"--mirror-tree", 0, false, [](Parsed& p, const std::string&) { p.o.mirrorTree = true; }},
    {"--monochrome", 0, false, [](Parsed& p, const std::string&) { p.monochrome = true; }},
    {"--grayscale", 0, false, [](Parsed& p, const std::string&) { p.grayscale = true; }},
    {"--greyscale", 0, false, [](Parsed& p, const std::string&) { p.grayscale = true; }},
    {"--skip-up-to-date", 0, false, [](Parsed& p, const std::string&) { p.o.skipUpToDate = true; }},
    {"--report", 0, true,
     [](Parsed& p, const std::string& v) { p.o.reportFile = nonEmpty(v, "--report needs a file, or - for standard output"); }},
    {"--strict", 0, false, [](Parsed& p, const std::string&) { p.o.strict = true; }},
    {"--shard", 0, true, [](Parsed& p, const std::string& v) { parseShard(v, p.o); }},
    {"--references", 0, true,
     [](Parsed& p, const std::string& v) {
         using cad::ReferenceScope;
         p.o.references = parseWord<ReferenceScope>(
             v, {{"any", ReferenceScope::Any}, {"below", ReferenceScope::Below}, {"none", ReferenceScope::None}},
             "--references is any, below or none");
     }},
    {"--verbose", 'v', false, [](Parsed& p, const std::string&) { p.o.verbose = true; }},
    {"--font-dir", 0, true,
     [](Parsed& p, const std::string& v) { p.o.fontDirs.push_back(nonEmpty(v, "--font-dir needs a folder")); }},
    {"--plot", 0, false, [](Parsed& p, const std::string&) { p.o.plot = true; }},
    {"--paper", 0, true,
     [](Parsed& p, const std::string& v) {
         if (!cad::render::paperNamed(v))
             throw UsageError{"--paper is A0..A6, B4, B5, letter, legal, tabloid, ANSI_A..E, ARCH_A..E or WxHmm, not \"" +
                              displayName(v) + "\""};
         p.o.paper = v;
     }},
    {"--dpi", 0, true, [](Parsed& p, const std::string& v) { p.o.dpi = parseNumber("--dpi", v, 10, 2400); }},
    {"--plot-style-dir", 0, true,
     [](Parsed& p, const std::string& v) { p.o.plotStyleDirs.push_back(nonEmpty(v, "--plot-style-dir needs a folder")); }},
};

const OptionRule* ruleNamed(const std::string& name) {
    for (const OptionRule& rule : kRules)
        if (name == rule.name) return &rule;
    return nullptr;
}

const OptionRule* ruleOfLetter(char letter) {
    for (const OptionRule& rule : kRules)
        if (rule.letter != 0 && rule.letter == letter) return &rule;
    return nullptr;
}

// One option and its value, if any, from argv[i] (and argv[i + 1] when the
// value follows apart); i is left at the last argument used.
void applyOption(int argc, char** argv, int& i, Parsed& p) {
    std::string arg = argv[i], value;
    bool hasValue = false;
    if (arg[1] != '-') {
        // -q 90 and -q90 alike; flags stand alone.
        if (arg[1] == 'h') throw UsageError{};
        const OptionRule* rule = ruleOfLetter(arg[1]);
        if (!rule) throw UsageError{"unknown option " + displayName(arg)};
        if (arg.size() > 2) {
            value = arg.substr(2);
            hasValue = true;
        }
        arg = rule->name;
    } else if (const auto eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
    }
    if (arg == "--help") throw UsageError{};
    const OptionRule* rule = ruleNamed(arg);
    if (!rule) throw UsageError{"unknown option " + displayName(arg)};
    if (!rule->takesValue && hasValue) throw UsageError{arg + " takes no value"};
    if (rule->takesValue && !hasValue) {
        if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
        value = argv[++i];
    }
    rule->apply(p, value);
}

}  // namespace

const char* pictureExtension(Format format) {
    switch (format) {
    case Format::Png: return "png";
    case Format::Tiff: return "tif";
    case Format::Bmp: return "bmp";
    case Format::Pdf: return "pdf";
    case Format::Svg: return "svg";
    case Format::Jpeg: break;
    }
    return "jpg";
}

Options parseArguments(int argc, char** argv) {
    Parsed p;
    Options& o = p.o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg == "-" && !optionsEnded) o.readStdin = true;
            else o.inputs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else {
            applyOption(argc, argv, i, p);
        }
    }
    if (p.monochrome && p.grayscale) throw UsageError{"--monochrome and --grayscale exclude each other"};
    if (p.monochrome) o.colors = cad::render::ColorMode::Monochrome;
    if (p.grayscale) o.colors = cad::render::ColorMode::Grayscale;
    if (o.mirrorTree && o.outputDir.empty()) throw UsageError{"--mirror-tree needs --output-dir"};
    if (o.inputs.empty() && !o.readStdin) throw UsageError{"no drawings given"};
    return o;
}

}  // namespace lumicade::convert
