#include "tools/convert/UpToDate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

#include "cad/fonts/FontFinder.h"
#include "cad/render/Plot.h"
#include "tools/convert/PictureRecord.h"

namespace lumicade::convert {

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Values keep only characters that no format's text needs to escape and
// that the record does not use to part its fields.
std::string encoded(const std::string& value) {
    std::string out;
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '.' || c == '_' ||
            c == '-' || c == '/' || c == ',' || c == '+' || c == '~') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        }
    }
    return out;
}

// A path in a list of the record: its commas escaped too.
std::string encodedItem(const std::string& path) {
    std::string out;
    for (const char c : encoded(path)) out += c == ',' ? std::string("%2C") : std::string(1, c);
    return out;
}

std::string timeOf(const struct stat& info) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09ld", static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec);
    return text;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

const char* colorsName(cad::render::ColorMode colors) {
    switch (colors) {
    case cad::render::ColorMode::Monochrome: return "monochrome";
    case cad::render::ColorMode::Grayscale: return "grayscale";
    default: break;
    }
    return "as-drawn";
}

// The options that change a picture's pixels or its format. Quality counts
// for JPEG only.
void addPixelOptions(const Options& o, Fields& fields) {
    fields.emplace_back("format", pictureExtension(o.format));
    fields.emplace_back("size", std::to_string(o.size));
    if (o.format == Format::Jpeg) fields.emplace_back("quality", std::to_string(o.quality));
    fields.emplace_back("background", o.blackBackground ? "black" : "white");
    fields.emplace_back("colours", colorsName(o.colors));
    const QRectF& w = o.window;
    fields.emplace_back("window", w.isNull() ? std::string() : number(w.left()) + "," + number(w.top()) + "," +
                                                                   number(w.right()) + "," + number(w.bottom()));
    fields.emplace_back("layout", o.layout);
    fields.emplace_back("view", o.view == cad::render::ViewChoice::Saved ? "saved" : "extents");
    fields.emplace_back("reference-scope", o.references == cad::ReferenceScope::Any     ? "any"
                                      : o.references == cad::ReferenceScope::Below ? "below"
                                                                                   : "none");
    std::string fonts;
    for (const std::string& dir : o.fontDirs) fonts += (fonts.empty() ? "" : ",") + encoded(dir);
    fields.emplace_back("font-dirs", fonts);
    // A drawing cut short by a smaller budget is drawn again with a larger
    // one. Only a budget other than the default is written, so pictures
    // made before it was an option stay up to date.
    if (o.memoryLimit != Options{}.memoryLimit) fields.emplace_back("memory-limit", std::to_string(o.memoryLimit));
    if (o.plots()) {
        std::string tables;
        for (const std::string& dir : o.plotStyleDirs) tables += "," + encoded(dir);
        fields.emplace_back("plot", encoded(o.paper) + "," + std::to_string(o.dpi) + tables);
    }
}

Fields parse(const std::string& record) {
    Fields fields;
    if (record.size() < 2) return fields;
    const std::string body = record.substr(1, record.size() - 2);
    for (std::size_t at = 0; at <= body.size();) {
        std::size_t end = body.find("; ", at);
        if (end == std::string::npos) end = body.size();
        const std::string field = body.substr(at, end - at);
        const std::size_t eq = field.find('=');
        if (eq != std::string::npos) fields.emplace_back(field.substr(0, eq), field.substr(eq + 1));
        at = end + 2;
    }
    return fields;
}

std::string formatted(const Fields& fields) {
    std::string record = "[";
    for (const auto& [key, value] : fields) record += (record.size() > 1 ? "; " : "") + key + "=" + value;
    return record + "]";
}

std::string valueOf(const Fields& fields, const std::string& key) {
    for (const auto& [k, v] : fields)
        if (k == key) return v;
    return "(none)";
}

void setValue(Fields& fields, const std::string& key, const std::string& value) {
    for (auto& [k, v] : fields)
        if (k == key) v = value;
}

std::string decoded(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

// Why a picture's record differs from the one wanted, in the first field
// that differs.
std::string difference(const Fields& found, const Fields& wanted) {
    for (const auto& [key, value] : wanted) {
        const std::string had = valueOf(found, key);
        if (had == value) continue;
        if (key == "lumicade-picture") return "its picture's record is of another kind";
        if (key == "drawing") return "its picture was made from another drawing, " + decoded(had);
        if (key == "bytes" || key == "modified") return "the drawing changed after its picture was made";
        if (key == "references") return "a file the drawing refers to changed after its picture was made";
        if (key == "losses") return "its picture was incomplete before";
        if (key == "version") return "its picture was made by version " + had + " of the program";
        return "its picture was made with " + key + " " + (had.empty() ? "(none)" : decoded(had)) + ", not " +
               (value.empty() ? "(none)" : decoded(value));
    }
    return found.size() == wanted.size() ? std::string() : "its picture's record has other fields";
}

// Each file with its time now, or "missing": a file that goes away
// changes the picture too.
std::string stamped(const std::vector<std::string>& files) {
    std::string list;
    for (const std::string& file : files) {
        struct stat info {};
        list += (list.empty() ? "" : ",") + encodedItem(file) + "@" +
                (::stat(file.c_str(), &info) == 0 ? timeOf(info) : std::string("missing"));
    }
    return list;
}

// The files a record's list names, for stamping them again.
std::vector<std::string> filesIn(const std::string& list) {
    std::vector<std::string> files;
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(at, end - at);
        files.push_back(decoded(item.substr(0, item.rfind('@'))));
        at = end + 1;
    }
    return files;
}

// A font file as a style names it: "txt", "romans.shx", "C:\Fonts\arial.ttf".
// A name without an extension is a shape font, or a TrueType file where
// only that is there (as the renderer takes it): both are looked for.
std::vector<std::string> fontFileNames(const std::string& name) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty()) return {};
    if (base.find('.') != std::string::npos) return {base};
    return {base + ".shx", base + ".ttf"};
}

std::vector<std::string> fontFiles(const cad::Drawing& drawing, const std::string& drawingFolder, const Options& o) {
    // Listed once for the whole process, as the renderer lists them; the
    // system's folders are left out (see the header).
    static const cad::fonts::FontFinder finder(
        [&] {
            std::vector<std::filesystem::path> folders;
            std::error_code error;
            for (const std::string& dir : o.fontDirs) folders.push_back(std::filesystem::absolute(dir, error));
            return folders;
        }(),
        {});
    std::vector<std::string> files;
    for (const cad::TextStyle& style : drawing.textStyles)
        for (const std::string& named : {style.fontFile, style.bigFontFile})
            for (const std::string& name : fontFileNames(named))
                if (const auto found = finder.findFile(name, drawingFolder);
                    found && std::find(files.begin(), files.end(), found->native()) == files.end())
                    files.push_back(found->native());
    return files;
}

}  // namespace

std::vector<std::string> referencedFiles(const cad::Drawing& drawing, const std::string& drawingFolder,
                                         const Options& options) {
    std::vector<std::string> files;
    std::error_code error;
    for (const std::string& file : drawing.referencedFiles) {
        const std::filesystem::path path = std::filesystem::absolute(file, error);
        files.push_back(error ? file : path.native());
    }
    for (std::string& font : fontFiles(drawing, drawingFolder, options)) files.push_back(std::move(font));
    if (options.plots()) {
        cad::render::PlotRequest request;
        request.drawingFolder = drawingFolder;
        request.styleFolders = options.plotStyleDirs;
        for (std::string& table : cad::render::plotStyleFiles(drawing, request)) files.push_back(std::move(table));
    }
    return files;
}

std::string pictureRecord(const std::string& drawing, const Options& o) {
    struct stat info {};
    if (::stat(drawing.c_str(), &info) != 0) return {};
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(drawing), error);
    // The second kind of record names the files referenced and says whether
    // the picture lacked something; pictures of the first are made again.
    Fields fields{{"lumicade-picture", "2"},
                  {"drawing", encoded(error ? drawing : path.native())},
                  {"bytes", std::to_string(info.st_size)},
                  {"modified", timeOf(info)},
                  {"references", ""},
                  {"losses", "none"}};
    addPixelOptions(o, fields);
    fields.emplace_back("version", encoded(LUMICADE_VERSION));
    return formatted(fields);
}

std::string withReferences(const std::string& record, const std::vector<std::string>& files) {
    if (record.empty()) return record;  // the drawing could not be looked at: its pictures keep none
    Fields fields = parse(record);
    setValue(fields, "references", stamped(files));
    return formatted(fields);
}

std::string ofIncompletePicture(const std::string& record) {
    if (record.empty()) return record;
    Fields fields = parse(record);
    setValue(fields, "losses", "some");
    return formatted(fields);
}

bool pictureUpToDate(const std::string& drawing, const std::string& picture, const Options& options, std::string* why) {
    auto no = [&](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    struct stat info {};
    if (::stat(picture.c_str(), &info) != 0) return no("it has no picture yet");
    const std::string wanted = pictureRecord(drawing, options);
    if (wanted.empty()) return no("the drawing cannot be looked at");
    const std::string found = recordIn(picture);
    if (found.empty()) return no("its picture holds no record of what it was made from");
    // The files referenced are those the picture names: the drawing's
    // record says the drawing is as it was, and so are its references.
    const Fields had = parse(found);
    Fields now = parse(wanted);
    if (const std::string listed = valueOf(had, "references"); listed != "(none)")
        setValue(now, "references", stamped(filesIn(listed)));
    const std::string reason = difference(had, now);
    return reason.empty() || no(reason);
}

}  // namespace lumicade::convert
