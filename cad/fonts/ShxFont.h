#pragma once
// Compiled shape files (.shx): plain shape files, text fonts, unicode fonts
// and the double-byte "big fonts" of Chinese, Japanese and Korean drawings.
// Each shape is a little pen program; glyph() runs it into strokes.
//
// Everything read from a file is treated as hostile: every offset and length
// is checked against the file, and a program's steps, subshape nesting,
// position stack and arc segments are bounded.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cad/fonts/StrokeGlyph.h"

namespace cad::fonts {

class ShxFont {
public:
    enum class Kind { Shapes, Unicode, Big };

    // nullopt and a one-line reason (when asked for) for anything that is not
    // a compiled shape file.
    static std::optional<ShxFont> parse(std::span<const std::uint8_t> bytes, std::string* error = nullptr);
    static std::optional<ShxFont> load(const std::filesystem::path& file, std::string* error = nullptr);

    Kind kind() const { return kind_; }
    // Shape 0 describes a text font; a file without it holds plain shapes.
    bool isFont() const { return isFont_; }
    const std::string& name() const { return name_; }
    // Font units above and below the baseline; a capital letter is `above` high.
    double above() const { return above_; }
    double below() const { return below_; }
    // 0: horizontal only; 2: also written vertically (code 14 applies).
    int modes() const { return modes_; }

    bool has(std::uint32_t code) const { return code != 0 && shapes_.count(code) != 0; }
    std::size_t shapeCount() const { return shapes_.size(); }
    // A shape by its name (shape files; case does not matter).
    std::optional<std::uint32_t> shapeNumber(std::string_view name) const;
    // Big fonts: whether a byte of text starts a two-byte character.
    bool isLeadByte(std::uint8_t byte) const;

    // The strokes of a shape. Text fonts are scaled so that `above` is 1;
    // shape files keep their own units (one vector unit is one unit of size).
    std::optional<StrokeGlyph> glyph(std::uint32_t code, bool vertical = false) const;

private:
    struct Run;
    Kind kind_ = Kind::Shapes;
    bool isFont_ = false;
    std::string name_;
    double above_ = 1, below_ = 0;
    int modes_ = 0;
    double bigWidth_ = 0;  // extended big fonts: the character width their primitives are scaled by
    std::vector<std::pair<std::uint8_t, std::uint8_t>> leadRanges_;
    struct Shape {
        std::string name;
        std::vector<std::uint8_t> program;
    };
    std::unordered_map<std::uint32_t, Shape> shapes_;

    void readFontInfo(const Shape& info);
};

}  // namespace cad::fonts
