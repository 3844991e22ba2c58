#include "cad/dxf/DxfGroups.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "cad/model/Drawing.h"

namespace cad::dxf {

namespace {

constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

std::string_view trimBoth(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    return trimmed(v);
}

[[noreturn]] void badValue(const Group& g, const char* what) {
    throw ReadError("DXF line " + std::to_string(g.line) + ": " + what + " expected for group code " +
                    std::to_string(g.code));
}

// The kind of value a group code carries in a binary file.
enum class ValueKind { String, Double, Int16, Int32, Int64, Bool, Binary };

ValueKind kindOf(int code) {
    if (code >= 10 && code <= 59) return ValueKind::Double;
    if (code >= 60 && code <= 79) return ValueKind::Int16;
    if (code >= 90 && code <= 99) return ValueKind::Int32;
    if (code >= 110 && code <= 149) return ValueKind::Double;
    if (code >= 160 && code <= 169) return ValueKind::Int64;
    if (code >= 170 && code <= 179) return ValueKind::Int16;
    if (code >= 210 && code <= 239) return ValueKind::Double;
    if (code >= 270 && code <= 289) return ValueKind::Int16;
    if (code >= 290 && code <= 299) return ValueKind::Bool;
    if (code >= 310 && code <= 319) return ValueKind::Binary;
    if (code >= 370 && code <= 389) return ValueKind::Int16;
    if (code >= 400 && code <= 409) return ValueKind::Int16;
    if (code >= 420 && code <= 429) return ValueKind::Int32;
    if (code >= 440 && code <= 459) return ValueKind::Int32;
    if (code >= 460 && code <= 469) return ValueKind::Double;
    if (code == 1004) return ValueKind::Binary;
    if (code >= 1010 && code <= 1059) return ValueKind::Double;
    if (code >= 1060 && code <= 1070) return ValueKind::Int16;
    if (code == 1071) return ValueKind::Int32;
    return ValueKind::String;
}

// Spells a binary DXF file out as ASCII DXF text.
class BinaryConverter {
public:
    explicit BinaryConverter(std::string_view file) : data_(file), pos_(kBinarySentinel.size()) {}

    std::string run() {
        std::string out;
        out.reserve(data_.size() * 2);
        // R12 writes one-byte group codes, later versions two bytes. The first
        // group is always 0 SECTION, which tells which.
        bool shortCodes = data_.size() > pos_ + 1 && data_[pos_] == 0 && data_[pos_ + 1] == 'S';
        while (pos_ < data_.size()) {
            int code;
            if (shortCodes) {
                code = byte();
                if (code == 255) code = int16();
            } else {
                code = int16();
            }
            out += std::to_string(code);
            out += '\n';
            bool eof = false;
            switch (kindOf(code)) {
            case ValueKind::String: {
                std::string_view s = cstring();
                eof = code == 0 && s == "EOF";
                appendString(out, s);
                break;
            }
            case ValueKind::Double: {
                double d;
                std::memcpy(&d, take(8), 8);
                appendNumber(out, d);
                break;
            }
            case ValueKind::Int16: out += std::to_string(static_cast<std::int16_t>(int16())); break;
            case ValueKind::Int32: {
                std::int32_t v;
                std::memcpy(&v, take(4), 4);
                out += std::to_string(v);
                break;
            }
            case ValueKind::Int64: {
                std::int64_t v;
                std::memcpy(&v, take(8), 8);
                out += std::to_string(v);
                break;
            }
            case ValueKind::Bool: out += std::to_string(byte()); break;
            case ValueKind::Binary: {
                int n = byte();
                const char* p = take(static_cast<std::size_t>(n));
                static const char* hex = "0123456789ABCDEF";
                for (int i = 0; i < n; ++i) {
                    auto b = static_cast<unsigned char>(p[i]);
                    out += hex[b >> 4];
                    out += hex[b & 15];
                }
                break;
            }
            }
            out += '\n';
            if (eof) break;
        }
        return out;
    }

private:
    const char* take(std::size_t n) {
        if (n > data_.size() - pos_) throw ReadError("binary DXF ends in the middle of a value");
        const char* p = data_.data() + pos_;
        pos_ += n;
        return p;
    }
    int byte() { return static_cast<unsigned char>(*take(1)); }
    int int16() {
        const char* p = take(2);
        return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
    }
    std::string_view cstring() {
        std::size_t end = data_.find('\0', pos_);
        if (end == std::string_view::npos) throw ReadError("binary DXF ends in the middle of a string");
        std::string_view s = data_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return s;
    }
    // Binary strings end with a zero byte and hold any other byte as it is:
    // line breaks (MTEXT, TOLERANCE), carets (the modeler's text). They are
    // spelled as the ASCII form spells them, a control character as a caret
    // and the letter 64 places on ("^J"), a caret as "^ ", so that they read
    // back the same and never split a line.
    static void appendString(std::string& out, std::string_view s) {
        for (char c : s) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '^') {
                out += "^ ";
            } else if (byte < 0x20) {
                out += '^';
                out += static_cast<char>(byte + 0x40);
            } else {
                out += c;
            }
        }
    }
    static void appendNumber(std::string& out, double d) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        out.append(buf, r.ptr);
    }

    std::string_view data_;
    std::size_t pos_;
};

}  // namespace

std::string printable(std::string_view v) {
    std::string out(v.substr(0, 40));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return out;
}

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.remove_suffix(1);
    return v;
}

GroupList::GroupList(std::string_view file) {
    if (file.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
        binary_ = true;
        converted_ = BinaryConverter(file).run();
        file = converted_;
    }
    // Skip a UTF-8 byte order mark some writers put first.
    if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);

    std::size_t pos = 0;
    std::uint32_t line = 0;
    // Files from old Macintosh programs end their lines with a carriage return alone.
    const bool crOnly = file.find('\n') == std::string_view::npos && file.find('\r') != std::string_view::npos;
    const char lineEnd = crOnly ? '\r' : '\n';
    // Each group is two lines: counting the line ends first sizes the list
    // once, so a file never costs more than its groups (no spare half of a
    // grown list).
    groups_.reserve((static_cast<std::size_t>(std::count(file.begin(), file.end(), lineEnd)) + 2) / 2);
    auto nextLine = [&](std::string_view& out) {
        if (pos >= file.size()) return false;
        std::size_t end = file.find(lineEnd, pos);
        if (end == std::string_view::npos) end = file.size();
        out = file.substr(pos, end - pos);
        if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
        pos = end + 1;
        ++line;
        return true;
    };
    std::string_view codeText, value;
    while (nextLine(codeText)) {
        std::string_view c = trimBoth(codeText);
        if (c.empty() && pos >= file.size()) break;  // a final empty line
        Group g;
        g.line = line;
        auto r = std::from_chars(c.data(), c.data() + c.size(), g.code);
        if (r.ec != std::errc() || r.ptr != c.data() + c.size() || c.empty())
            throw ReadError("DXF line " + std::to_string(line) + ": group code expected, found \"" +
                            printable(c) + "\"");
        if (!nextLine(value))
            throw ReadError("DXF line " + std::to_string(line) + ": the file ends after a group code");
        g.value = value;
        groups_.push_back(g);
        if (g.code == 0 && trimmed(value) == "EOF") break;
    }
}

double toDouble(const Group& g) {
    std::string_view v = trimBoth(g.value);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    double d = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), d);
    if (r.ec == std::errc::result_out_of_range) return 0;  // 1e999 and the like: no usable value
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || v.empty()) badValue(g, "a number");
    // "nan" and "inf" parse, but no drawing holds them; they would only
    // poison every computation downstream.
    if (!std::isfinite(d)) badValue(g, "a finite number");
    return d;
}

std::int64_t toInt64(const Group& g) {
    std::string_view v = trimBoth(g.value);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    std::int64_t n = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec == std::errc() && r.ptr == v.data() + v.size() && !v.empty()) return n;
    // Some writers put decimals into integer groups ("1.0").
    double d = toDouble(g);
    if (!(d > -9.2e18 && d < 9.2e18)) badValue(g, "an integer");
    return static_cast<std::int64_t>(d);
}

int toInt(const Group& g) {
    std::int64_t n = toInt64(g);
    if (n > INT32_MAX || n < INT32_MIN) badValue(g, "a 32-bit integer");
    return static_cast<int>(n);
}

std::uint64_t toHandle(const Group& g) {
    std::string_view v = trimBoth(g.value);
    std::uint64_t h = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), h, 16);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return 0;
    return h;
}

}  // namespace cad::dxf
