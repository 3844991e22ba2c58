#include "cad/fonts/HersheyFont.h"

#include "cad/model/ReadableFile.h"

#include <algorithm>
#include <string>
#include <vector>

namespace cad::fonts {

namespace {

struct RawGlyph {
    int left = 0, right = 0;
    std::vector<std::vector<std::pair<int, int>>> strokes;  // y grows downwards
};

// One record: a five-column number, a three-column vertex count, then
// pairs of letters offset from 'R'; " R" lifts the pen. The first pair is
// the left and right edge. Long records go on over several lines.
std::vector<RawGlyph> readRecords(std::string_view text) {
    std::vector<RawGlyph> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', i), text.size());
        if (lineEnd - i < 10) { i = lineEnd + 1; continue; }
        int count = 0;
        bool ok = true;
        for (std::size_t k = 5; k < 8; ++k) {
            const char c = text[i + k];
            if (c == ' ') continue;
            if (c < '0' || c > '9') { ok = false; break; }
            count = count * 10 + (c - '0');
        }
        if (!ok || count < 1) { i = lineEnd + 1; continue; }
        // Gather 2 * count coordinate characters, skipping line breaks.
        std::string pairs;
        std::size_t j = i + 8;
        while (j < text.size() && pairs.size() < static_cast<std::size_t>(count) * 2) {
            const char c = text[j++];
            if (c != '\n' && c != '\r') pairs += c;
        }
        const std::size_t next = text.find('\n', j);
        i = next == std::string_view::npos ? text.size() : next + 1;
        if (pairs.size() < 2) continue;
        RawGlyph g;
        g.left = pairs[0] - 'R';
        g.right = pairs[1] - 'R';
        g.strokes.emplace_back();
        for (std::size_t k = 2; k + 1 < pairs.size(); k += 2) {
            if (pairs[k] == ' ' && pairs[k + 1] == 'R') {
                g.strokes.emplace_back();
                continue;
            }
            g.strokes.back().emplace_back(pairs[k] - 'R', pairs[k + 1] - 'R');
        }
        out.push_back(std::move(g));
    }
    return out;
}

}  // namespace

std::optional<HersheyFont> HersheyFont::parse(std::string_view text) {
    const std::vector<RawGlyph> raw = readRecords(text);
    if (raw.empty()) return std::nullopt;
    // The cap height and baseline come from the H when the font has one.
    int top = -12, base = 9;
    if (raw.size() > 'H' - 32) {
        int lo = 1000, hi = -1000;
        for (const auto& s : raw['H' - 32].strokes)
            for (const auto& [x, y] : s) { lo = std::min(lo, y); hi = std::max(hi, y); }
        if (hi > lo) { top = lo; base = hi; }
    }
    const double k = 1.0 / (base - top);
    HersheyFont font;
    int deepest = base;
    for (std::size_t n = 0; n < raw.size() && n < 95; ++n) {
        const RawGlyph& r = raw[n];
        StrokeGlyph g;
        for (const auto& s : r.strokes) {
            if (s.size() < 2) continue;
            std::vector<Vec2> stroke;
            for (const auto& [x, y] : s) {
                stroke.push_back({(x - r.left) * k, (base - y) * k});
                deepest = std::max(deepest, y);
            }
            g.strokes.push_back(std::move(stroke));
        }
        g.advance = (r.right - r.left) * k;
        font.glyphs_[static_cast<char32_t>(32 + n)] = std::move(g);
    }
    font.descent_ = (deepest - base) * k;
    return font;
}

std::optional<HersheyFont> HersheyFont::load(const std::filesystem::path& file) {
    // The stand-in fonts are a few kilobytes each.
    constexpr std::uint64_t kMaxFileBytes = 4u << 20;
    ReadableFile in;
    std::vector<std::uint8_t> bytes;
    if (!in.open(file.string(), kMaxFileBytes) || !in.read(bytes)) return std::nullopt;
    return parse(std::string(bytes.begin(), bytes.end()));
}

const StrokeGlyph* HersheyFont::glyph(char32_t c) const {
    const auto it = glyphs_.find(c);
    return it == glyphs_.end() ? nullptr : &it->second;
}

}  // namespace cad::fonts
