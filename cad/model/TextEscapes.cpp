#include "cad/model/TextEscapes.h"

#include "cad/model/CodePageText.h"

namespace cad {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of n hex digits at s[pos], or -1.
long hexValue(std::string_view s, std::size_t pos, std::size_t n) {
    if (pos + n > s.size()) return -1;
    long v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int d = hexDigit(s[pos + i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

bool escapeAt(std::string_view s, std::size_t i, char letter) {
    return i + 2 < s.size() && s[i] == '\\' && (s[i + 1] == letter || s[i + 1] == letter + ('a' - 'A')) &&
           s[i + 2] == '+';
}

}  // namespace

std::optional<PercentCode> percentCodeAt(std::string_view s, std::size_t i) {
    if (i + 2 >= s.size() || s[i] != '%' || s[i + 1] != '%') return std::nullopt;
    const char c = s[i + 2] >= 'A' && s[i + 2] <= 'Z' ? static_cast<char>(s[i + 2] - 'A' + 'a') : s[i + 2];
    using Kind = PercentCode::Kind;
    switch (c) {
    case 'c': return PercentCode{Kind::Character, 0x2300, 3};
    case 'd': return PercentCode{Kind::Character, 0x00B0, 3};
    case 'p': return PercentCode{Kind::Character, 0x00B1, 3};
    case '%': return PercentCode{Kind::Character, '%', 3};
    case 'u': return PercentCode{Kind::Underline, 0, 3};
    case 'o': return PercentCode{Kind::Overline, 0, 3};
    case 'k': return PercentCode{Kind::Strike, 0, 3};
    default: break;
    }
    if (c < '0' || c > '9') return std::nullopt;
    char32_t n = 0;
    std::size_t k = 0;
    while (k < 3 && i + 2 + k < s.size() && s[i + 2 + k] >= '0' && s[i + 2 + k] <= '9')
        n = n * 10 + static_cast<char32_t>(s[i + 2 + k++] - '0');
    return PercentCode{Kind::Character, n, 2 + k};
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string decodeTextEscapes(std::string_view s) {
    if (s.find('\\') == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
            out += "\\\\";
            i += 2;
            continue;
        }
        if (escapeAt(s, i, 'U')) {
            long cp = hexValue(s, i + 3, 4);
            if (cp >= 0) {
                i += 7;
                if (cp >= 0xD800 && cp <= 0xDBFF && escapeAt(s, i, 'U')) {
                    long low = hexValue(s, i + 3, 4);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 7;
                    }
                }
                appendUtf8(out, static_cast<char32_t>(cp));
                continue;
            }
        }
        if (escapeAt(s, i, 'M') && hexValue(s, i + 3, 5) >= 0) {
            // The digit names the page: 1 Japanese, 2 Traditional Chinese,
            // 3 Korean (Wansung), 4 Korean (Johab), 5 Simplified Chinese.
            static constexpr int kPages[] = {0, 932, 950, 949, 1361, 936};
            const long page = hexValue(s, i + 3, 1), value = hexValue(s, i + 4, 4);
            const std::string bytes{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
            if (page >= 1 && page <= 5) out += codePageToUtf8(bytes, kPages[page]);
            else appendUtf8(out, 0xFFFD);
            i += 8;
            continue;
        }
        out += s[i++];
    }
    return out;
}

}  // namespace cad
