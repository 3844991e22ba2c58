#include "cad/dxf/DxfText.h"

#include "cad/dxf/CodePages.h"

namespace cad::dxf {

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

// Length of the valid UTF-8 sequence at s[pos], or 0.
std::size_t utf8SequenceLength(std::string_view s, std::size_t pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char b = byte(pos);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || pos + n > s.size()) return 0;
    char32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

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

int codePageNumber(std::string_view name) {
    std::size_t i = 0;
    while (i < name.size() && !(name[i] >= '0' && name[i] <= '9')) ++i;
    int n = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && n < 100000; ++i) n = n * 10 + (name[i] - '0');
    return n;
}

TextDecoder::TextDecoder(std::string_view codePage, bool utf8) : utf8_(utf8) {
    if (utf8) return;
    int number = codePageNumber(codePage);
    if (number == 0) number = 1252;  // files without a code page were written on Western systems
    for (const CodePageTable& t : kCodePages)
        if (t.number == number) upper_ = t.upper;
    known_ = upper_ != nullptr;
}

std::string TextDecoder::decode(std::string_view s) const {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            char next = s[i + 1];
            if (next == '\\') {  // an escaped backslash stays as it is, and guards what follows
                out += "\\\\";
                i += 2;
                continue;
            }
            if ((next == 'U' || next == 'u') && i + 2 < s.size() && s[i + 2] == '+') {
                long cp = hexValue(s, i + 3, 4);
                if (cp >= 0) {
                    i += 7;
                    // A pair of \U+ escapes may spell one character beyond the BMP.
                    if (cp >= 0xD800 && cp <= 0xDBFF && i + 7 <= s.size() && s[i] == '\\' &&
                        (s[i + 1] == 'U' || s[i + 1] == 'u') && s[i + 2] == '+') {
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
            if ((next == 'M' || next == 'm') && i + 2 < s.size() && s[i + 2] == '+' && hexValue(s, i + 3, 5) >= 0) {
                // A double-byte character of an East Asian code page; we carry
                // no tables for those, so it shows as a replacement character.
                appendUtf8(out, 0xFFFD);
                i += 8;
                continue;
            }
        }
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            ++i;
        } else if (utf8_) {
            std::size_t n = utf8SequenceLength(s, i);
            if (n == 0) {
                appendUtf8(out, 0xFFFD);
                ++i;
            } else {
                out.append(s.substr(i, n));
                i += n;
            }
        } else {
            appendUtf8(out, upper_ ? upper_[b - 0x80] : 0xFFFD);
            ++i;
        }
    }
    return out;
}

}  // namespace cad::dxf
