#pragma once
// Turns the strings of a DXF file into UTF-8. Files before AutoCAD 2007 store
// text in the code page named by $DWGCODEPAGE; later ones store UTF-8. Both
// may carry \U+XXXX escapes for characters outside their code page, and the
// older ones \M+NXXXX escapes for double-byte characters; control
// characters are spelled with a caret ("^J").
#include <cstdint>
#include <string>
#include <string_view>

namespace cad::dxf {

class TextDecoder {
public:
    TextDecoder() = default;
    // codePage as $DWGCODEPAGE names it ("ANSI_1252", "dos850" ...);
    // utf8 for AC1021 and later files, where the code page only names the
    // drawing's locale.
    TextDecoder(std::string_view codePage, bool utf8);

    std::string decode(std::string_view raw) const;

    // False when the system cannot convert the code page; its text is then
    // read as ANSI_1252.
    bool known() const { return known_; }

private:
    int page_ = 1252;
    bool utf8_ = false;
    bool known_ = true;
};

}  // namespace cad::dxf
