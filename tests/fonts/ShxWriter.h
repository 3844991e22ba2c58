#pragma once
// Writes compiled shape files for the tests: plain and text fonts, unicode
// fonts and big fonts, from shape programs given as bytes.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fonts_test {

using Program = std::vector<std::uint8_t>;

inline void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

inline void putSignature(std::vector<std::uint8_t>& out, const std::string& kind) {
    const std::string s = "AutoCAD-86 " + kind + " 1.0\r\n\x1a";
    out.insert(out.end(), s.begin(), s.end());
}

// Shape 0, when given, describes the font (above, below, modes).
inline std::vector<std::uint8_t> shapesFile(const std::map<unsigned, Program>& shapes,
                                            const std::map<unsigned, std::string>& names = {}) {
    std::vector<std::uint8_t> out;
    putSignature(out, "shapes");
    put16(out, shapes.empty() ? 0 : shapes.begin()->first);
    put16(out, shapes.empty() ? 0 : shapes.rbegin()->first);
    put16(out, static_cast<unsigned>(shapes.size()));
    auto nameOf = [&](unsigned number) {
        const auto it = names.find(number);
        return it == names.end() ? std::string() : it->second;
    };
    for (const auto& [number, program] : shapes) {
        put16(out, number);
        put16(out, static_cast<unsigned>(nameOf(number).size() + program.size() + 1));
    }
    for (const auto& [number, program] : shapes) {
        const std::string name = nameOf(number);
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
        out.insert(out.end(), program.begin(), program.end());
    }
    return out;
}

inline std::vector<std::uint8_t> unicodeFile(const Program& info, const std::map<unsigned, Program>& shapes) {
    std::vector<std::uint8_t> out;
    putSignature(out, "unifont");
    const unsigned count = static_cast<unsigned>(shapes.size() + 1);
    put16(out, count & 0xFFFF);
    put16(out, count >> 16);
    put16(out, static_cast<unsigned>(info.size() + 1));
    out.push_back(0);
    out.insert(out.end(), info.begin(), info.end());
    for (const auto& [number, program] : shapes) {
        put16(out, number);
        put16(out, static_cast<unsigned>(program.size() + 1));
        out.push_back(0);
        out.insert(out.end(), program.begin(), program.end());
    }
    return out;
}

// A big font with one range of lead bytes; shape 0 describes the font.
inline std::vector<std::uint8_t> bigFontFile(unsigned firstLead, unsigned lastLead,
                                             const std::map<unsigned, Program>& shapes) {
    std::vector<std::uint8_t> out;
    putSignature(out, "bigfont");
    const unsigned entries = static_cast<unsigned>(shapes.size() + 1);  // and one empty slot
    put16(out, entries);
    put16(out, entries);
    put16(out, 1);
    put16(out, firstLead);
    put16(out, lastLead);
    std::size_t offset = out.size() + entries * 8;
    std::vector<std::uint8_t> data;
    put16(out, 0);  // the empty slot
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    for (const auto& [number, program] : shapes) {
        put16(out, number);
        put16(out, static_cast<unsigned>(program.size() + 1));
        const std::size_t at = offset + data.size();
        put16(out, static_cast<unsigned>(at & 0xFFFF));
        put16(out, static_cast<unsigned>(at >> 16));
        data.push_back(0);
        data.insert(data.end(), program.begin(), program.end());
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace fonts_test
