#include "tools/common/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace lumicade::json {

namespace {

void appendHex(std::string& out, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out += buffer;
}

}  // namespace

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

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t n = utf8Length(text, i, &c);
        if (n == 0) {
            appendHex(out, 0xDC00u + static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (isControl(c)) appendHex(out, static_cast<unsigned>(c));
        else out.append(text.substr(i, n));
        i += n;
    }
    return out + "\"";
}

void Writer::value(const char* key, double v) {
    prefix(key);
    if (!std::isfinite(v)) {
        out_ << "null";
        return;
    }
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    out_.write(buffer, end - buffer);
}

void Writer::value(const char* key, long long v) {
    prefix(key);
    out_ << v;
}

void Writer::value(const char* key, bool v) {
    prefix(key);
    out_ << (v ? "true" : "false");
}

void Writer::value(const char* key, std::string_view v) {
    prefix(key);
    out_ << quoted(v);
}

void Writer::null(const char* key) {
    prefix(key);
    out_ << "null";
}

void Writer::valueOrNull(const char* key, const std::string& v) {
    if (v.empty()) null(key);
    else value(key, v);
}

void Writer::prefix(const char* key) {
    if (!first_) out_ << ',';
    first_ = false;
    if (key) out_ << quoted(key) << ':';
}

void Writer::open(const char* key, char c) {
    prefix(key);
    out_ << c;
    first_ = true;
}

void Writer::close(char c) {
    out_ << c;
    first_ = false;
}

}  // namespace lumicade::json
