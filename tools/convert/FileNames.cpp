#include "tools/convert/FileNames.h"

#include <algorithm>
#include <cstdio>

namespace lumicade::convert {

namespace {

// Length of the valid UTF-8 sequence at text[at], or 0 when there is none
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate).
std::size_t utf8Length(std::string_view text, std::size_t at, char32_t* code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t c = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) { length = 2; c = lead & 0x1F; least = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; c = lead & 0x0F; least = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; c = lead & 0x07; least = 0x10000; }
    else return 0;
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *code = c;
    return length;
}

bool isControl(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

void appendHex(std::string& out, const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

}  // namespace

std::string displayName(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        char32_t c = 0;
        const std::size_t n = utf8Length(path, i, &c);
        if (n == 0 || isControl(c)) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k)
                appendHex(out, "\\x%02X", static_cast<unsigned char>(path[i + k]));
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        out.append(path.substr(i, n));
        i += n;
    }
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t n = utf8Length(text, i, &c);
        if (n == 0) {
            appendHex(out, "\\u%04x", 0xDC00u + static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (isControl(c)) appendHex(out, "\\u%04x", static_cast<unsigned>(c));
        else out.append(text.substr(i, n));
        i += n;
    }
    return out + "\"";
}

std::string fileNamePart(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string completeBaseName(std::string_view name) {
    const std::size_t dot = name.find_last_of('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string suffix(std::string_view name) {
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace lumicade::convert
