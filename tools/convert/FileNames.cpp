#include "tools/convert/FileNames.h"

#include <algorithm>
#include <cstdio>

#include "tools/common/JsonWriter.h"

namespace lumicade::convert {

namespace {

void appendHex(std::string& out, unsigned char byte) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
    out += buffer;
}

}  // namespace

std::string displayName(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        char32_t c = 0;
        const std::size_t n = json::utf8Length(path, i, &c);
        if (n == 0 || json::isControl(c)) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k)
                appendHex(out, static_cast<unsigned char>(path[i + k]));
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        out.append(path.substr(i, n));
        i += n;
    }
    return out;
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
