#include "cad/dwg/Versions.h"

namespace cad::dwg {

namespace {

struct VersionName {
    Version version;
    std::string_view string;
};

constexpr VersionName kVersions[] = {
    {Version::AC1_2, "AC1.2"},    {Version::AC1_40, "AC1.40"},  {Version::AC1_50, "AC1.50"},
    {Version::AC2_10, "AC2.10"},  {Version::AC2_21, "AC2.21"},  {Version::AC2_22, "AC2.22"},
    {Version::AC1001, "AC1001"},  {Version::AC1002, "AC1002"},  {Version::AC1003, "AC1003"},
    {Version::AC1004, "AC1004"},  {Version::AC1006, "AC1006"},  {Version::AC1009, "AC1009"},
    {Version::R13, "AC1012"},     {Version::R14, "AC1014"},     {Version::R2000, "AC1015"},
    {Version::R2004, "AC1018"},   {Version::R2007, "AC1021"},   {Version::R2010, "AC1024"},
    {Version::R2013, "AC1027"},   {Version::R2018, "AC1032"},
};

}  // namespace

std::optional<Version> versionFromString(std::string_view fileStart) {
    // "AC1.2" is one character shorter than the rest; a longer string that
    // begins with it ("AC1.20") is none of ours, as the digit after it shows.
    for (const VersionName& v : kVersions) {
        if (fileStart.substr(0, v.string.size()) != v.string) continue;
        if (v.string.size() < 6 && fileStart.size() > v.string.size() && fileStart[v.string.size()] >= '0' &&
            fileStart[v.string.size()] <= '9')
            continue;
        return v.version;
    }
    return std::nullopt;
}

std::string_view versionString(Version v) {
    for (const VersionName& n : kVersions)
        if (n.version == v) return n.string;
    return {};
}

std::string shownVersion(std::string_view fileStart) {
    std::string shown;
    for (char c : fileStart.substr(0, 6)) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    return shown;
}

}  // namespace cad::dwg
