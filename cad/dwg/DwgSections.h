#pragma once
// The hand-over between a file container and the object decoders.
//
// R13 to 2000 keep their sections at offsets the file header lists; 2004 and
// later keep them in compressed (and, for 2007, Reed-Solomon coded) pages. A
// container reader unpacks the sections into this struct and hands it to
// decodeSections(), which knows nothing about pages.
//
// How each buffer must begin, for every version:
//  - header:  the header variables section from its 16-byte start sentinel
//             (CF 7B 1F 23 FD DE 38 A9 5F 7C 68 B8 4E 6D 33 5F), then the RL
//             size (2010 and later: and an RL high half), the data, the CRC
//             and the end sentinel. 2004+ files keep
//             this layout inside the "AcDb:Header" section, so pass the
//             section's data as it is.
//  - classes: the classes section from its start sentinel
//             (8D A1 C4 B8 C4 A9 F8 C5 C0 DC F4 5F E7 CF B6 8A); "AcDb:Classes"
//             as it is for 2004+.
//  - handles: the object map: pages of (RS big-endian size, modular-char
//             handle/offset pairs, RS CRC), ending with a page of size 2.
//             "AcDb:Handles" as it is for 2004+.
//  - objects: the buffer the map's offsets point into. R13-2000: the whole
//             file. 2004+: the data of "AcDb:AcDbObjects" (which begins with
//             the RL 0x0DCA marker; offsets count from the section's start).
//  - for 2007 and later the container leaves the strings of the header in
//    the header buffer: they sit at the end of its data, found through the
//    bit size stored there, just as in objects.
#include <cstdint>
#include <string>
#include <vector>

#include "cad/dwg/Versions.h"
#include "cad/model/Drawing.h"

namespace cad::dwg {


struct DwgSections {
    Version version = Version::R2000;
    std::string versionString;     // "AC1015" ...
    int maintenanceVersion = 0;    // file header byte 11
    int codePage = 0;              // file header RS at 0x13 (30 = ANSI_1252 ...)
    int measurement = -1;          // 0 imperial, 1 metric; -1 when the file does not say
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> classes;
    std::vector<std::uint8_t> handles;
    std::vector<std::uint8_t> objects;
    std::vector<std::uint8_t> dataStore;  // "AcDb:AcDsPrototype_1b" of 2013+, when there is one
};

// Decodes header variables, classes, the object map and the objects into a
// drawing. Throws cad::ReadError when a section is unusable; single objects
// that fail are counted as skipped instead.
cad::Drawing decodeSections(DwgSections s);

}  // namespace cad::dwg
