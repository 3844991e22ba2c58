#pragma once
// A DXF file as a flat list of (group code, value) pairs. ASCII files are
// split in place; binary files are first spelled out as the ASCII text they
// stand for, so everything after this step reads one form only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cad::dxf {

struct Group {
    std::string_view value;  // raw bytes; numbers still as text
    int code = 0;
    std::uint32_t line = 0;  // 1-based line of the group code, for messages
};

class GroupList {
public:
    // Throws cad::ReadError when the bytes are not group pairs.
    explicit GroupList(std::string_view file);

    const std::vector<Group>& groups() const { return groups_; }
    bool binary() const { return binary_; }

private:
    std::string converted_;  // the ASCII spelling of a binary file
    std::vector<Group> groups_;
    bool binary_ = false;
};

// Numbers as DXF writes them: leading and trailing blanks allowed. Throws
// cad::ReadError naming the line when the text is not a number.
double toDouble(const Group& g);
int toInt(const Group& g);
std::int64_t toInt64(const Group& g);
// Handles are hexadecimal; 0 when empty or malformed (a bad handle only
// loses a link, never the drawing).
std::uint64_t toHandle(const Group& g);

// Up to 40 bytes of a value for an error message, control and non-ASCII
// bytes shown as '?', so the message stays one readable line.
std::string printable(std::string_view v);

// The value without trailing blanks or carriage returns; names in tables
// are compared this way.
std::string_view trimmed(std::string_view v);

// Application groups (102 "{ACAD_REACTORS" ... 102 "}") carry links the
// drawing does not need. At such a group, moves p onto its closing group (or
// the last one) and says true.
inline bool skipApplicationGroup(const Group*& p, const Group* end) {
    if (p->code != 102) return false;
    if (!trimmed(p->value).empty() && p->value.front() == '{')
        while (p + 1 < end && !(p->code == 102 && trimmed(p->value) == "}")) ++p;
    return true;
}

}  // namespace cad::dxf
