#include "cad/fonts/ShxFont.h"

#include "cad/model/MemoryBudget.h"
#include "cad/model/ReadableFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <iterator>
#include <string>

namespace cad::fonts {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Bounds on what one shape may make us do; real fonts stay far below them.
constexpr int kMaxSteps = 20000;
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxStack = 16;
constexpr std::size_t kMaxPoints = 50000;
constexpr std::uint64_t kMaxFileBytes = 64u << 20;
// Segments per eighth of a circle: glyph arcs are small on the picture.
constexpr int kSegmentsPerOctant = 6;

// The sixteen directions of a vector byte's low nibble.
constexpr std::array<Vec2, 16> kDirections = {{{1, 0}, {1, 0.5}, {1, 1}, {0.5, 1}, {0, 1}, {-0.5, 1},
                                                {-1, 1}, {-1, 0.5}, {-1, 0}, {-1, -0.5}, {-1, -1},
                                                {-0.5, -1}, {0, -1}, {0.5, -1}, {1, -1}, {1, -0.5}}};

class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> b) : b_(b) {}
    bool has(std::size_t n) const { return pos_ <= b_.size() && b_.size() - pos_ >= n; }
    std::uint16_t u16() {
        if (!has(2)) { fail_ = true; pos_ = b_.size(); return 0; }
        const std::uint16_t v = static_cast<std::uint16_t>(b_[pos_] | (b_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::span<const std::uint8_t> take(std::size_t n) {
        if (!has(n)) { fail_ = true; pos_ = b_.size(); return {}; }
        auto s = b_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    std::size_t pos() const { return pos_; }
    void seek(std::size_t p) { pos_ = std::min(p, b_.size()); }
    bool failed() const { return fail_; }
    bool atEnd() const { return pos_ >= b_.size(); }

private:
    std::span<const std::uint8_t> b_;
    std::size_t pos_ = 0;
    bool fail_ = false;
};

// A shape's bytes: the name up to the first NUL, then the program.
std::pair<std::string, std::vector<std::uint8_t>> splitShape(std::span<const std::uint8_t> bytes) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (nul == bytes.end()) return {{}, {bytes.begin(), bytes.end()}};
    return {std::string(bytes.begin(), nul), {nul + 1, bytes.end()}};
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

void ShxFont::readFontInfo(const Shape& info) {
    name_ = info.name;
    const auto& p = info.program;
    if (p.size() < 2) return;
    isFont_ = true;
    if (kind_ == Kind::Big && p.size() >= 5 && p[1] == 0 && p[3] != 0) {
        // Extended big font: character height, 0, modes, character width.
        above_ = p[0];
        below_ = 0;
        modes_ = p[2];
        bigWidth_ = p[3];
    } else {
        above_ = p[0];
        below_ = p[1];
        modes_ = p.size() > 2 ? p[2] : 0;
    }
    if (above_ <= 0) above_ = 1;
}

std::optional<ShxFont> ShxFont::load(const std::filesystem::path& file, std::string* error) {
    ReadableFile in;
    std::vector<std::uint8_t> bytes;
    if (!in.open(file.string(), kMaxFileBytes) || !in.read(bytes)) {
        if (error) *error = "cannot read the file: " + in.problem();
        return std::nullopt;
    }
    return parse(bytes, error);
}

std::optional<ShxFont> ShxFont::parse(std::span<const std::uint8_t> bytes, std::string* error) {
    auto fail = [&](const char* why) -> std::optional<ShxFont> {
        if (error) *error = why;
        return std::nullopt;
    };
    // The signature line ends in CR LF and Ctrl-Z.
    const std::size_t limit = std::min<std::size_t>(bytes.size(), 48);
    const auto eof = std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(limit), std::uint8_t{0x1A});
    if (eof == bytes.begin() + static_cast<std::ptrdiff_t>(limit)) return fail("no shape file signature");
    const std::string signature = lower(std::string(bytes.begin(), eof));
    if (signature.rfind("autocad-86 ", 0) != 0) return fail("no shape file signature");

    ShxFont font;
    if (signature.find("unifont") != std::string::npos) font.kind_ = Kind::Unicode;
    else if (signature.find("bigfont") != std::string::npos) font.kind_ = Kind::Big;
    else if (signature.find("shapes") != std::string::npos) font.kind_ = Kind::Shapes;
    else return fail("unknown kind of shape file");

    Bytes r(bytes.subspan(static_cast<std::size_t>(eof - bytes.begin()) + 1));
    if (font.kind_ == Kind::Shapes) {
        r.u16();  // first and last shape number: the index says it again
        r.u16();
        const std::uint16_t count = r.u16();
        if (!r.has(std::size_t{count} * 4)) return fail("shape index runs past the end of the file");
        std::vector<std::pair<std::uint16_t, std::uint16_t>> index(count);
        for (auto& [number, length] : index) {
            number = r.u16();
            length = r.u16();
        }
        for (const auto& [number, length] : index) {
            const auto data = r.take(length);
            if (r.failed()) return fail("shape data runs past the end of the file");
            auto [name, program] = splitShape(data);
            font.shapes_[number] = Shape{std::move(name), std::move(program)};
        }
    } else if (font.kind_ == Kind::Unicode) {
        const std::uint32_t count = r.u32();
        const std::uint16_t infoLength = r.u16();
        const auto info = r.take(infoLength);
        if (r.failed()) return fail("font description runs past the end of the file");
        auto [name, program] = splitShape(info);
        font.readFontInfo(Shape{name, program});
        // The count includes the description; stop early at the end of the file.
        for (std::uint32_t i = 1; i < count && !r.atEnd(); ++i) {
            const std::uint16_t number = r.u16();
            const std::uint16_t length = r.u16();
            const auto data = r.take(length);
            if (r.failed()) return fail("shape data runs past the end of the file");
            auto [shapeName, shapeProgram] = splitShape(data);
            if (number != 0) font.shapes_[number] = Shape{std::move(shapeName), std::move(shapeProgram)};
        }
    } else {
        r.u16();  // the size the font was planned for
        const std::uint16_t entries = r.u16();
        const std::uint16_t ranges = r.u16();
        for (std::uint16_t i = 0; i < ranges && !r.failed(); ++i) {
            const std::uint16_t first = r.u16(), last = r.u16();
            font.leadRanges_.emplace_back(static_cast<std::uint8_t>(std::min<std::uint16_t>(first, 255)),
                                          static_cast<std::uint8_t>(std::min<std::uint16_t>(last, 255)));
        }
        if (r.failed() || !r.has(std::size_t{entries} * 8)) return fail("big font index runs past the end of the file");
        const auto base = bytes.subspan(0);
        for (std::uint16_t i = 0; i < entries; ++i) {
            const std::uint16_t number = r.u16();
            const std::uint16_t length = r.u16();
            const std::uint32_t offset = r.u32();
            if (length == 0 || offset == 0) continue;  // an empty slot of the table
            if (offset > base.size() || base.size() - offset < length) return fail("big font shape lies outside the file");
            auto [name, program] = splitShape(base.subspan(offset, length));
            Shape shape{std::move(name), std::move(program)};
            if (number == 0) font.readFontInfo(shape);
            else font.shapes_[number] = std::move(shape);
        }
    }
    if (font.kind_ == Kind::Shapes) {
        if (const auto it = font.shapes_.find(0); it != font.shapes_.end()) {
            font.readFontInfo(it->second);
            font.shapes_.erase(it);
        }
    }
    return font;
}

std::optional<std::uint32_t> ShxFont::shapeNumber(std::string_view name) const {
    const std::string wanted = lower(name);
    for (const auto& [number, shape] : shapes_)
        if (lower(shape.name) == wanted) return number;
    return std::nullopt;
}

bool ShxFont::isLeadByte(std::uint8_t byte) const {
    return std::any_of(leadRanges_.begin(), leadRanges_.end(),
                       [&](const auto& r) { return byte >= r.first && byte <= r.second; });
}

// One run of the pen through a shape and the subshapes it calls.
struct ShxFont::Run {
    Run(const ShxFont& f, bool v) : font(f), vertical(v) {}
    const ShxFont& font;
    bool vertical;
    Vec2 pos{};
    bool penDown = true;
    int steps = 0;
    std::size_t points = 0;
    std::vector<Vec2> stack;
    StrokeGlyph out;
    HeldMemory held;  // the points made, against the drawing's memory budget

    bool open = false;  // the last stroke still grows

    void lift() {
        penDown = false;
        open = false;
    }
    void lower() {
        penDown = true;
        open = false;
    }
    void moveTo(Vec2 p) {
        if (penDown && points < kMaxPoints) {
            // Counted in blocks of a thousand points, so a glyph costs one
            // check or a few; one the budget refuses ends where it is.
            if (points % 1024 == 0 && !held.hold((points + 1024) * sizeof(Vec2))) {
                points = kMaxPoints;
                pos = p;
                return;
            }
            if (!open) {
                out.strokes.push_back({pos});
                open = true;
            }
            out.strokes.back().push_back(p);
            ++points;
        }
        pos = p;
    }
    // Whether a move draws: an arc that does not is one move to its end.
    bool drawing() const { return penDown && points < kMaxPoints; }
    // A move without drawing: a pop of the stack, or into a subshape's box.
    void jump(Vec2 p) {
        open = false;
        pos = p;
    }
    // An arc around `center` from angle a0 through sweep (radians), radius r.
    void arc(Vec2 center, double r, double a0, double sweep) {
        const int n = std::clamp(static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 4) * kSegmentsPerOctant)), 1,
                                 8 * kSegmentsPerOctant);
        for (int i = drawing() ? 1 : n; i <= n; ++i) {
            const double a = a0 + sweep * i / n;
            moveTo({center.x + r * std::cos(a), center.y + r * std::sin(a)});
        }
    }
    // A displacement bent by a bulge of -127..127 (127: a half circle).
    void bulgeTo(Vec2 d, int bulge) {
        const Vec2 end{pos.x + d.x, pos.y + d.y};
        const double chord = std::hypot(d.x, d.y);
        if (bulge == 0 || chord == 0) { moveTo(end); return; }
        const double h = std::abs(bulge) / 127.0 * chord / 2;  // height of the arc over the chord's middle
        const double r = (chord * chord / 4 + h * h) / (2 * h);
        const double sweep = 4 * std::atan(2 * h / chord) * (bulge < 0 ? -1 : 1);
        // The centre lies off the chord's middle, to the left of a counter-clockwise arc.
        const Vec2 mid{pos.x + d.x / 2, pos.y + d.y / 2};
        const Vec2 left{-d.y / chord, d.x / chord};
        const double off = (r - h) * (bulge > 0 ? 1 : -1);
        const Vec2 c{mid.x + left.x * off, mid.y + left.y * off};
        arc(c, r, std::atan2(pos.y - c.y, pos.x - c.x), sweep);
        pos = end;
    }
    // Byte i of the program, or 0 past its end (which then ends the shape).
    static int at(const std::vector<std::uint8_t>& p, std::size_t i) { return i < p.size() ? p[i] : 0; }
    static int sbyte(int b) { return b >= 128 ? b - 256 : b; }

    void play(std::uint32_t code, int depth, Vec2 scale) {
        const auto it = font.shapes_.find(code);
        if (it == font.shapes_.end() || depth > kMaxDepth) return;
        const std::vector<std::uint8_t>& p = it->second.program;
        double factor = 1;
        bool skipNext = false;
        for (std::size_t i = 0; i < p.size() && ++steps < kMaxSteps;) {
            const int c = p[i++];
            const bool run = !skipNext;
            skipNext = false;
            const double fx = factor * scale.x, fy = factor * scale.y;
            if (c >= 16) {
                if (!run) continue;
                const Vec2 d = kDirections[c & 15];
                const double len = c >> 4;
                moveTo({pos.x + d.x * len * fx, pos.y + d.y * len * fy});
                continue;
            }
            switch (c) {
            case 0: return;
            case 1: if (run) lower(); break;
            case 2: if (run) lift(); break;
            case 3: { const int v = at(p, i++); if (run && v > 0) factor /= v; break; }
            case 4: { const int v = at(p, i++); if (run && v > 0) factor *= v; break; }
            case 5: if (run && stack.size() < kMaxStack) stack.push_back(pos); break;
            case 6:
                if (run && !stack.empty()) {
                    jump(stack.back());
                    stack.pop_back();
                }
                break;
            case 7: {
                std::uint32_t sub = 0;
                Vec2 origin{}, subScale{1, 1};
                bool placed = false;
                if (font.kind_ == Kind::Shapes) {
                    sub = static_cast<std::uint32_t>(at(p, i++));
                } else {
                    const int hi = at(p, i++);
                    if (font.kind_ == Kind::Big && hi == 0) {
                        // Extended big font: a primitive placed in a box of the character.
                        sub = static_cast<std::uint32_t>((at(p, i) << 8) | at(p, i + 1));
                        origin = {static_cast<double>(at(p, i + 2)), static_cast<double>(at(p, i + 3))};
                        const double w = at(p, i + 4), h = at(p, i + 5);
                        i += 6;
                        const double height = font.above_ > 0 ? font.above_ : 1;
                        const double width = font.bigWidth_ > 0 ? font.bigWidth_ : height;
                        subScale = {w / width, h / height};
                        placed = true;
                    } else {
                        sub = static_cast<std::uint32_t>((hi << 8) | at(p, i++));
                    }
                }
                if (!run || sub == code) break;
                if (placed) {
                    const Vec2 start = pos;
                    jump({start.x + origin.x * scale.x, start.y + origin.y * scale.y});
                    play(sub, depth + 1, {scale.x * subScale.x, scale.y * subScale.y});
                    jump(start);
                } else {
                    play(sub, depth + 1, scale);
                }
                break;
            }
            case 8: {
                const int dx = sbyte(at(p, i)), dy = sbyte(at(p, i + 1));
                i += 2;
                if (run) moveTo({pos.x + dx * fx, pos.y + dy * fy});
                break;
            }
            case 9:
                for (;;) {
                    const int dx = sbyte(at(p, i)), dy = sbyte(at(p, i + 1));
                    i += 2;
                    if ((dx == 0 && dy == 0) || i > p.size()) break;
                    if (run) moveTo({pos.x + dx * fx, pos.y + dy * fy});
                }
                break;
            case 10: {
                // Octant arc: radius, then direction bit, starting octant and octant count.
                const int radius = at(p, i), arcByte = at(p, i + 1);
                i += 2;
                if (!run) break;
                const int start = (arcByte >> 4) & 7, count = (arcByte & 7) == 0 ? 8 : (arcByte & 7);
                const double dir = (arcByte & 0x80) ? -1 : 1;
                const double a0 = start * kPi / 4, sweep = dir * count * kPi / 4;
                octantArc(radius * factor, a0, sweep, scale);
                break;
            }
            case 11: {
                // Fractional arc: start and end offsets (1/256 of an octant), radius, octants.
                const int startOffset = at(p, i), endOffset = at(p, i + 1);
                const int radius = (at(p, i + 2) << 8) | at(p, i + 3), arcByte = at(p, i + 4);
                i += 5;
                if (!run) break;
                const int start = (arcByte >> 4) & 7, count = (arcByte & 7) == 0 ? 8 : (arcByte & 7);
                const double dir = (arcByte & 0x80) ? -1 : 1;
                const double octant = kPi / 4;
                const double a0 = start * octant + dir * startOffset * octant / 256;
                // The arc ends in the last octant it enters, endOffset into it.
                double a1 = (start + dir * count) * octant;
                if (endOffset != 0) a1 = (start + dir * (count - 1)) * octant + dir * endOffset * octant / 256;
                octantArc(radius * factor, a0, a1 - a0, scale);
                break;
            }
            case 12: {
                const int dx = sbyte(at(p, i)), dy = sbyte(at(p, i + 1)), bulge = sbyte(at(p, i + 2));
                i += 3;
                if (run) bulgeStep(dx * fx, dy * fy, bulge);
                break;
            }
            case 13:
                for (;;) {
                    const int dx = sbyte(at(p, i)), dy = sbyte(at(p, i + 1));
                    i += 2;
                    if ((dx == 0 && dy == 0) || i > p.size()) break;
                    const int bulge = sbyte(at(p, i++));
                    if (run) bulgeStep(dx * fx, dy * fy, bulge);
                }
                break;
            case 14:
                // The next command is for vertical text only.
                if (run && !vertical) skipNext = true;
                break;
            default:
                break;  // 15: no such code; skip the byte
            }
        }
    }
    void octantArc(double r, double a0, double sweep, Vec2 scale) {
        if (r <= 0) return;
        const Vec2 c{pos.x - r * scale.x * std::cos(a0), pos.y - r * scale.y * std::sin(a0)};
        const int n = std::clamp(static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 4) * kSegmentsPerOctant)), 1,
                                 8 * kSegmentsPerOctant);
        for (int k = drawing() ? 1 : n; k <= n; ++k) {
            const double a = a0 + sweep * k / n;
            moveTo({c.x + r * scale.x * std::cos(a), c.y + r * scale.y * std::sin(a)});
        }
    }
    void bulgeStep(double dx, double dy, int bulge) { bulgeTo({dx, dy}, bulge); }
};

std::optional<StrokeGlyph> ShxFont::glyph(std::uint32_t code, bool vertical) const {
    if (!has(code)) return std::nullopt;
    Run run(*this, vertical && modes_ == 2);
    run.play(code, 0, {1, 1});
    run.lift();
    StrokeGlyph g = std::move(run.out);
    std::erase_if(g.strokes, [](const std::vector<Vec2>& s) { return s.size() < 2; });
    g.advance = run.pos.x;
    g.advanceY = run.pos.y;
    if (isFont_) {
        const double k = 1 / above_;
        for (auto& s : g.strokes)
            for (Vec2& p : s) p = {p.x * k, p.y * k};
        g.advance *= k;
        g.advanceY *= k;
    }
    return g;
}

}  // namespace cad::fonts
