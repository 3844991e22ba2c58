#pragma once
// Drawing strings carry characters outside their code page as escapes:
// \U+XXXX (a UTF-16 unit, pairs for characters beyond the basic plane) and
// \M+NXXXX (a double-byte character of an East Asian code page). Both
// readers turn them into UTF-8 here, so the model holds plain UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cad {

// The text with its escapes replaced; a \M+ character of a page the system
// cannot convert becomes U+FFFD. An escaped backslash ("\\") is kept as it
// is and protects what follows from being read as an escape.
std::string decodeTextEscapes(std::string_view utf8);

// The control codes of single-line text: "%%c" diameter, "%%d" degree,
// "%%p" plus-minus, "%%%" a percent sign, "%%nnn" the character of that
// number (up to three digits), and "%%u", "%%o", "%%k" switching underline,
// overline and strike-through.
struct PercentCode {
    enum class Kind { Character, Underline, Overline, Strike };
    Kind kind = Kind::Character;
    char32_t character = 0;  // for Kind::Character; 0 where the code stands for nothing ("%%0")
    std::size_t length = 0;  // characters the code takes
};
// The code at s[i], or nothing where no code starts there.
std::optional<PercentCode> percentCodeAt(std::string_view s, std::size_t i);

// Appends a code point as UTF-8 (U+FFFD for values that are no character).
void appendUtf8(std::string& out, char32_t cp);

}  // namespace cad
