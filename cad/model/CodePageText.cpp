#include "cad/model/CodePageText.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <string>

#include "cad/model/TextEscapes.h"

namespace cad {

namespace {

// "CP1252" and the like: glibc's names for the Windows and DOS pages.
std::string iconvName(int number) {
    switch (number) {
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 10000: return "MACINTOSH";
    case 1361: return "JOHAB";
    default: break;
    }
    if (number >= 28591 && number <= 28599) return "ISO-8859-" + std::to_string(number - 28590);
    return "CP" + std::to_string(number);
}

// One open converter per direction, code page and thread: iconv handles
// keep state and must not be shared between threads, and opening one for
// every string of a drawing would cost more than the conversion.
bool failed(iconv_t cd);

struct Converters {
    std::map<std::pair<int, bool>, iconv_t> open;
    ~Converters() {
        for (const auto& [key, cd] : open)
            if (!failed(cd)) iconv_close(cd);
    }
};

iconv_t converter(int number, bool toUtf8) {
    thread_local Converters converters;
    auto& open = converters.open;
    const auto key = std::make_pair(number, toUtf8);
    if (const auto it = open.find(key); it != open.end()) return it->second;
    const std::string name = iconvName(number);
    const iconv_t cd = toUtf8 ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
    open.emplace(key, cd);
    return cd;
}

bool failed(iconv_t cd) { return cd == reinterpret_cast<iconv_t>(-1); }

}  // namespace

int codePageNumber(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "BIG5") return 950;
    if (upper == "GB2312") return 936;
    if (upper == "KSC5601") return 949;
    if (upper == "JOHAB") return 1361;
    if (upper == "MACINTOSH") return 10000;
    if (upper == "UTF8" || upper == "UTF-8") return 65001;
    if (upper == "US_ASCII") return 20127;
    std::size_t i = 0;
    while (i < upper.size() && !std::isdigit(static_cast<unsigned char>(upper[i]))) ++i;
    int n = 0;
    for (; i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i])) && n < 100000; ++i)
        n = n * 10 + (upper[i] - '0');
    if (upper.rfind("ISO_8859_", 0) == 0 || upper.rfind("ISO8859", 0) == 0) {
        const std::size_t cut = upper.find_last_of("_-");
        const int part = cut == std::string::npos ? 0 : std::atoi(upper.c_str() + cut + 1);
        return part > 0 && part < 10 ? 28590 + part : 0;
    }
    return n;
}

bool codePageKnown(int number) { return number > 0 && !failed(converter(number, true)); }

std::string codePageToUtf8(std::string_view bytes, int number) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(bytes);
    iconv_t cd = converter(number > 0 ? number : 1252, true);
    if (failed(cd)) cd = converter(1252, true);
    std::string out;
    if (failed(cd)) {
        for (char c : bytes) appendUtf8(out, static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : 0xFFFD);
        return out;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // A byte that is no character here, or a double-byte character cut short.
        appendUtf8(out, 0xFFFD);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string utf8CharToCodePage(char32_t c, int number) {
    std::string utf8;
    appendUtf8(utf8, c);
    if (c < 0x80) return utf8;
    const iconv_t cd = converter(number, false);
    if (failed(cd)) return {};
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    char buffer[8];
    char* o = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1)) return {};
    return std::string(buffer, static_cast<std::size_t>(o - buffer));
}

}  // namespace cad
