#include "cad/dxf/DxfText.h"

#include "cad/model/CodePageText.h"
#include "cad/model/TextEscapes.h"

namespace cad::dxf {

namespace {

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

TextDecoder::TextDecoder(std::string_view codePage, bool utf8) : utf8_(utf8) {
    if (utf8) return;
    const int number = codePageNumber(codePage);
    // Files without a code page were written on Western systems.
    page_ = number == 0 ? 1252 : number;
    known_ = codePageKnown(page_);
    if (!known_) page_ = 1252;
}

std::string TextDecoder::decode(std::string_view raw) const {
    // To UTF-8 first: a double-byte character may end in a byte that looks
    // like a caret or a backslash.
    std::string text;
    if (utf8_) {
        text.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size();) {
            const std::size_t n = static_cast<unsigned char>(raw[i]) < 0x80 ? 1 : utf8SequenceLength(raw, i);
            if (n == 0) {
                appendUtf8(text, 0xFFFD);
                ++i;
            } else {
                text.append(raw.substr(i, n));
                i += n;
            }
        }
    } else {
        text = codePageToUtf8(raw, page_);
    }
    const std::string_view s = text;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        // DXF writes control characters as a caret and the letter 64 places
        // on ("^J" a line break), and a caret itself as "^ ".
        if (c == '^' && i + 1 < s.size()) {
            const char next = s[i + 1];
            if (next == ' ') {
                out += '^';
                i += 2;
                continue;
            }
            if (next >= '@' && next <= '_') {
                out += static_cast<char>(next - '@');
                i += 2;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return decodeTextEscapes(out);
}

}  // namespace cad::dxf
