#pragma once
// One object of a DWG file, opened for reading: its data stream, the
// separate string stream of 2007 and later, and its handle stream. The
// object decoders read fields through this and never look at the version
// themselves except through since()/until().
#include <string>
#include <utility>
#include <vector>

#include "cad/dwg/BitReader.h"
#include "cad/model/TextEscapes.h"

namespace cad::dwg {

class ObjectReader {
public:
    BitReader dat;  // the fields
    BitReader str;  // strings (2007+; otherwise the same stream as dat)
    BitReader hdl;  // handle references
    Handle self = 0;
    int codePage = 30;
    bool separateStrings = false;
    // The first string of the object's extended data, by application.
    std::vector<std::pair<Handle, std::string>> extendedText;
    // The items of each application's extended data, as stored.
    std::vector<std::vector<std::uint8_t>> extendedItems;

    Version version() const { return dat.version(); }
    bool since(Version v) const { return dat.since(v); }
    bool until(Version v) const { return dat.until(v); }

    // Text fields, from wherever this version keeps them. 2004 and later
    // files spell characters outside the code page as \U+ escapes, which the
    // model holds decoded, as the DXF reader does.
    std::string T() { return decodeTextEscapes(separateStrings ? str.TU() : dat.TV(codePage)); }
    // A handle reference from the handle stream, made absolute.
    Handle H() { return hdl.H().absolute(self); }
    // Colour of tables and other non-entities (CMC). storedIndex, when
    // given, receives the index as stored, sign included.
    Color CMC(int* storedIndex = nullptr);
    // Colour of entities (2004+ may carry true colour and a book reference).
    // A colour from the colour books is held by an object of its own:
    // book, when given, receives its handle (else 0).
    Color ENC(Handle* book = nullptr);
};

// Reads past a field the drawing does not keep, naming it where it is read:
// skip("DIMASO", b.B()). The name is for the reader of this code only.
template <class T>
constexpr void skip(const char* /*name*/, const T& /*value*/) noexcept {}

// Finds the string stream of a 2007+ object or section: its last data bit
// before endBit says whether there is one, the 16 bits before that give its
// size (with 16 more for large ones), and the strings end where that size
// field begins. Returns false, leaving `strings` empty, when there are no
// strings; throws cad::ReadError when the size points outside
// [startBit, endBit).
bool locateStringStream(const BitReader& base, std::size_t startBit, std::size_t endBit, BitReader& strings);

// Lineweight index as stored (0..23, 29 ByLayer, 30 ByBlock, 31 Default)
// to hundredths of a millimetre.
int lineweightFromIndex(int index);

}  // namespace cad::dwg
