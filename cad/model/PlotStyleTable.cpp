#include "cad/model/PlotStyleTable.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "cad/model/Drawing.h"
#include "cad/model/ReadableFile.h"

namespace cad {

namespace {

// The file: 48 bytes naming the format ("PIAFILEVERSION_2.0,CTBVER1,compress"
// CR LF "pmzlibcodec"), the text's Adler-32, its size, the compressed size
// (little-endian words), then the zlib stream.
constexpr std::size_t kSignatureBytes = 48, kHeaderBytes = 60;
// The tables the CAD application writes inflate to some 100 KiB.
constexpr std::uint32_t kMaxTextBytes = 8u << 20;
constexpr std::uint64_t kMaxFileBytes = 8u << 20;

// The lineweights a table's styles refer to by number when it lists none of its own.
constexpr double kStandardLineweights[] = {0.0,  0.05, 0.09, 0.1,  0.13, 0.15, 0.18, 0.2, 0.25,
                                           0.3,  0.35, 0.4,  0.45, 0.5,  0.53, 0.6,  0.65, 0.7,
                                           0.8,  0.9,  1.0,  1.06, 1.2,  1.4,  1.58, 2.0,  2.11};

std::uint32_t word(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

template <typename T>
bool number(std::string_view s, T* out) {
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return error == std::errc() && end == s.data() + s.size();
}

// A pen colour as the tables write it: a signed word whose top byte says what
// the rest means. -1 and C3FFFFFF leave the object's colour, as do C0 (by
// layer) and C1 (by block); otherwise the low three bytes are red, green and
// blue (C2 a true colour, C3 an index colour's, FF as some writers put black).
// Those other than C0 to C3 and FF are a guess from the tables seen.
void readColor(std::string_view value, PlotStyle& style) {
    long long v = 0;
    if (!number(value, &v)) return;
    const std::uint32_t bits = static_cast<std::uint32_t>(v);
    const std::uint32_t kind = bits >> 24, rgb = bits & 0xFFFFFFu;
    style.objectColor = bits == 0xFFFFFFFFu || kind == 0xC0 || kind == 0xC1 || (kind == 0xC3 && rgb == 0xFFFFFF);
    style.rgb = style.objectColor ? 0 : rgb;
}

class TextReader {
public:
    explicit TextReader(std::string_view text) : text_(text) {}

    PlotStyleTable read() {
        PlotStyleTable table;
        std::vector<int> styleLineweights;  // by style, the number in the lineweight table
        std::vector<double> lineweights(std::begin(kStandardLineweights), std::end(kStandardLineweights));
        bool modeColor = false;             // the style named its colour twice: the second one counts
        std::vector<std::string> open;      // the sections we are in
        for (std::string_view line; next(line);) {
            if (line == "}") {
                if (!open.empty()) open.pop_back();
                continue;
            }
            if (!line.empty() && line.back() == '{') {
                open.emplace_back(trimmed(line.substr(0, line.size() - 1)));
                if (open.size() == 2 && open[0] == "plot_style") {
                    table.styles.emplace_back();
                    styleLineweights.push_back(-1);
                    modeColor = false;
                }
                continue;
            }
            const std::size_t eq = line.find('=');
            if (eq == std::string_view::npos) continue;
            const std::string_view key = trimmed(line.substr(0, eq));
            std::string_view value = trimmed(line.substr(eq + 1));
            if (!value.empty() && value.front() == '"') value.remove_prefix(1);  // strings run to the line's end
            if (open.empty()) {
                if (key == "aci_table_available") table.colorDependent = value == "TRUE";
            } else if (open.size() == 2 && open[0] == "plot_style" && !table.styles.empty()) {
                PlotStyle& style = table.styles.back();
                if (key == "name") style.name = std::string(value);
                else if (key == "color" && !modeColor) readColor(value, style);
                else if (key == "mode_color") readColor(value, style), modeColor = true;
                else if (key == "color_policy") {
                    int policy = 0;
                    if (number(value, &policy)) style.grayscale = (policy & 2) != 0;
                } else if (key == "screen") {
                    int screen = 100;
                    if (number(value, &screen)) style.screen = std::clamp(screen, 0, 100);
                } else if (key == "lineweight") {
                    int index = -1;
                    if (number(value, &index)) styleLineweights.back() = index;
                }
            } else if (open.size() == 1 && open[0] == "custom_lineweight_table") {
                std::size_t index = 0;
                double mm = 0;
                if (number(key, &index) && number(value, &mm) && index < 256 && mm >= 0 && mm < 100) {
                    if (lineweights.size() <= index) lineweights.resize(index + 1, -1);
                    lineweights[index] = mm;
                }
            }
        }
        // A number past the table (255 in the tables the CAD application
        // writes) keeps the object's own lineweight.
        for (std::size_t i = 0; i < table.styles.size(); ++i) {
            const int n = styleLineweights[i];
            if (n >= 0 && static_cast<std::size_t>(n) < lineweights.size()) table.styles[i].lineweightMm = lineweights[n];
        }
        return table;
    }

private:
    bool next(std::string_view& line) {
        if (at_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) end = text_.size();
        line = trimmed(text_.substr(at_, end - at_));
        at_ = end + 1;
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool inflateText(const std::vector<unsigned char>& bytes, std::string& text, std::string* error) {
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), "PIAFILEVERSION_", 15) != 0)
        return fail(error, "not a plot style table");
    const std::string_view signature(reinterpret_cast<const char*>(bytes.data()), kSignatureBytes);
    if (signature.find("CTBVER") == std::string_view::npos && signature.find("STBVER") == std::string_view::npos)
        return fail(error, "not a plot style table (" + std::string(signature.substr(0, signature.find('\r'))) + ")");
    const std::uint32_t size = word(bytes.data() + 52), packed = word(bytes.data() + 56);
    if (size == 0 || size > kMaxTextBytes) return fail(error, "damaged: it claims a text of " + std::to_string(size) + " bytes");
    if (packed > bytes.size() - kHeaderBytes) return fail(error, "damaged: cut short");
    text.resize(size);
    uLongf made = size;
    const int status = uncompress(reinterpret_cast<Bytef*>(text.data()), &made, bytes.data() + kHeaderBytes, packed);
    if (status != Z_OK) return fail(error, std::string("damaged: ") + (status == Z_BUF_ERROR ? "its text is longer than it says" : "its text does not inflate"));
    text.resize(made);
    return true;
}

}  // namespace

const PlotStyle* PlotStyleTable::forColor(int index) const {
    if (!colorDependent || index < 1 || static_cast<std::size_t>(index) > styles.size()) return nullptr;
    return &styles[static_cast<std::size_t>(index - 1)];
}

const PlotStyle* PlotStyleTable::named(const std::string& name) const {
    const std::string wanted = upperName(name);
    for (const PlotStyle& s : styles)
        if (upperName(s.name) == wanted) return &s;
    return nullptr;
}

std::optional<PlotStyleTable> parsePlotStyleTable(const std::vector<unsigned char>& bytes, std::string* error) {
    std::string text;
    if (!inflateText(bytes, text, error)) return std::nullopt;
    PlotStyleTable table = TextReader(text).read();
    if (table.styles.empty()) {
        fail(error, "damaged: it holds no plot styles");
        return std::nullopt;
    }
    return table;
}

std::optional<PlotStyleTable> readPlotStyleTable(const std::string& path, std::string* error) {
    ReadableFile file;
    std::vector<std::uint8_t> bytes;
    if (!file.open(path, kMaxFileBytes) || !file.read(bytes)) {
        fail(error, file.problem());
        return std::nullopt;
    }
    return parsePlotStyleTable(bytes, error);
}

}  // namespace cad
