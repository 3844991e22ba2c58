#pragma once
// What the two halves of the reader for drawings before R13 share: the
// release a version string names, a byte cursor that never reads outside its
// range, and the names that entity records refer to by table index.
//
// These files are byte aligned throughout: little-endian integers (RC one
// byte, RS two, RL four), IEEE doubles (RD), and text as an RS length
// followed by that many bytes in the drawing's code page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/RepeatArray.h"

namespace cad::dwg::legacy {

// The releases in the order they were written; comparisons between them
// decide which fields a record holds.
enum class Release {
    R1_2, R1_40, R2_0, R2_10, R2_21, R2_22,  // AC1.2 ... AC2.22
    R2_5a, R2_5, R2_6, R9, R10, R11,         // AC1001, AC1002, AC1003, AC1004, AC1006, AC1009
};

// The release of a version string, or false when it is not one of them.
bool releaseOf(const std::string& versionString, Release& release);

// The 16-bit check value that R11 appends to every entity and table record:
// reflected polynomial 0xA001, started at 0xC0C1.
std::uint16_t recordCrc(const std::uint8_t* data, std::size_t n);

class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t begin, std::size_t end) : data_(data), pos_(begin), end_(end) {}

    std::size_t position() const { return pos_; }
    std::size_t end() const { return end_; }
    std::size_t left() const { return end_ - pos_; }
    const std::uint8_t* data() const { return data_; }
    void seek(std::size_t at);
    void skip(std::size_t n);

    std::uint8_t RC();
    std::uint16_t RS();
    std::int16_t RSs() { return static_cast<std::int16_t>(RS()); }
    std::uint32_t RL();
    double RD();
    Vec2 RD2() { double x = RD(); return {x, RD()}; }
    Vec3 RD3() { double x = RD(); double y = RD(); return {x, y, RD()}; }
    // RS length and bytes, converted to UTF-8.
    std::string TV(int codePage);
    // A name in a fixed field of n bytes, ending at its first zero byte.
    std::string fixedText(std::size_t n, int codePage);

private:
    void need(std::size_t n) const;
    const std::uint8_t* data_;
    std::size_t pos_, end_;
};

// The table names entity records point at by their place in the table.
struct TableNames {
    std::vector<std::string> layers, linetypes, styles, blocks;
};

struct FileFacts {
    Release release = Release::R11;
    int codePage = 0;
};

// One record of an entity section.
struct Record {
    enum class Kind {
        Drawable,    // an entity of its own (ATTRIB included)
        Vertex,      // belongs to the POLYLINE before it
        SequenceEnd,
        BlockBegin,
        BlockEnd,
        Erased,      // deleted in the drawing, kept in the file
        Undrawn,     // LOAD: names a shape file for the shapes, draws nothing
        RepeatBegin, // REPEAT: the entities up to ENDREP are arrayed
        RepeatEnd,   // ENDREP, with the array's rows and columns
        Unknown,     // a type we do not read (counted as skipped)
        Damaged,     // its check value does not match, or its fields overrun it
        Unreadable,  // the records after it cannot be found: its size cannot
                     // be right, or it has none and a type we do not know
    };
    Kind kind = Kind::Unknown;
    std::size_t size = 0;  // bytes to the next record
    Entity entity;
    PolylineVertex vertex;
    bool sequenceFollows = false;  // vertices or attributes come next
    std::string blockName;         // BLOCK: its name, when the record holds it
    std::string skippedName;       // Unknown, Unreadable: what to count it as
    RepeatArray repeat;            // RepeatEnd
};

// Reads the record at the cursor's position (its first byte is the type)
// and leaves the cursor after it, or where it was when the record is
// Unreadable. Releases before 2.0 give no sizes: their records end where
// their fields do, and one that runs past the section is Damaged, with the
// cursor at the section's end.
Record readRecord(Cursor& section, const FileFacts& facts, const TableNames& names);

}  // namespace cad::dwg::legacy
