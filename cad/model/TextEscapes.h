#pragma once
// Drawing strings carry characters outside their code page as escapes:
// \U+XXXX (a UTF-16 unit, pairs for characters beyond the basic plane) and
// \M+NXXXX (a double-byte character of an East Asian code page). Both
// readers turn them into UTF-8 here, so the model holds plain UTF-8.
#include <string>
#include <string_view>

namespace cad {

// The text with its escapes replaced; a \M+ character of a page the system
// cannot convert becomes U+FFFD. An escaped backslash ("\\") is kept as it
// is and protects what follows from being read as an escape.
std::string decodeTextEscapes(std::string_view utf8);

// Appends a code point as UTF-8 (U+FFFD for values that are no character).
void appendUtf8(std::string& out, char32_t cp);

}  // namespace cad
