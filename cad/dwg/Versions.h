#pragma once
// The DWG versions, in the order they were written, and the strings their
// files begin with. Before R13 the versions go by those strings.
#include <optional>
#include <string>
#include <string_view>

namespace cad::dwg {

enum class Version {
    AC1_2, AC1_40, AC1_50, AC2_10, AC2_21, AC2_22, AC1001, AC1002, AC1003, AC1004, AC1006, AC1009,
    R13, R14, R2000, R2004, R2007, R2010, R2013, R2018
};

// "AC1015" -> R2000, "AC1.40" -> AC1_40; nothing for a string no version has.
// Only the start of the text counts: pass the file's first bytes.
std::optional<Version> versionFromString(std::string_view fileStart);

// The version's string as its files begin with it ("AC1015").
std::string_view versionString(Version v);

// The file's first six bytes, with what is not printable as '?', to name an
// unknown version in a message.
std::string shownVersion(std::string_view fileStart);

}  // namespace cad::dwg
