#pragma once
// File names as the file system holds them: plain bytes, which need not be
// valid UTF-8 (a Latin-1 "plän.dxf" copied from an old archive). The
// converter keeps every path in these bytes from the command line or the
// folder listing to the open and the write, and turns them into text only
// to show them.
#include <string>
#include <string_view>

namespace lumicade::convert {

// For messages on a terminal or in a log: valid UTF-8 as it is; bytes that
// are not, and control characters that could move the cursor or forge a
// line, as \xNN.
std::string displayName(std::string_view path);

// The last component of a path, and what comes before the last dot of a name
// ("plan.dwg" -> "plan", ".dwg" -> "") and after it ("plan.dwg" -> "dwg").
std::string fileNamePart(std::string_view path);
std::string completeBaseName(std::string_view name);
std::string suffix(std::string_view name);

// ASCII letters in lower case; other bytes as they are.
std::string asciiLower(std::string_view text);

}  // namespace lumicade::convert
