#pragma once
// Text in the code page a drawing names ($DWGCODEPAGE: "ANSI_1252",
// "DOS850", "ANSI_932" ...) to and from UTF-8, through the C library's
// iconv, which knows the single-byte pages and the double-byte ones of
// Japanese, Chinese and Korean drawings alike.
#include <string>
#include <string_view>

namespace cad {

// The Windows number of a code page name: "ANSI_1252" -> 1252, "DOS932" ->
// 932, "BIG5" -> 950, "GB2312" -> 936; 0 when it names none we know.
int codePageNumber(std::string_view name);

// True when iconv can convert the code page on this system.
bool codePageKnown(int number);

// Bytes in a code page as UTF-8. Bytes that are no character of the page
// become U+FFFD, one for each. An unknown page is read as 1252.
std::string codePageToUtf8(std::string_view bytes, int number);

// One character in a code page: one or two bytes, or empty when the page
// has no such character.
std::string utf8CharToCodePage(char32_t c, int number);

}  // namespace cad
