#pragma once
// What a picture was made from, kept inside the picture file: the drawing's
// path, size and time, the options that change its pixels and the program's
// version, so that a later run can tell whether the picture still stands
// for the drawing as it is now.
//
// The record is one run of printable ASCII between brackets,
// "[lumicade-picture=1; drawing=...; version=...]", with every value
// percent-encoded, so that it reads the same from a JPEG comment, a PNG text
// chunk, a TIFF description, SVG metadata or PDF XMP metadata.
#include <string>
#include <vector>

#include "tools/convert/Options.h"

namespace lumicade::convert {

// Keeps a record in a picture whose format has room for it in its bytes: a
// JPEG comment segment after the JFIF header, a PNG tEXt chunk keyed
// "Lumicade" after the header chunk, a TIFF ImageDescription, an SVG
// <metadata> element. PDF pictures get theirs from their writer: there a
// record of the same length takes the place of the one written. BMP has no
// room for one.
void addRecord(Format format, std::vector<unsigned char>& bytes, const std::string& record);

// The record a picture file holds, or an empty string. Only the first and
// last 64 KiB are read: the writers put it near one end or the other.
std::string recordIn(const std::string& picture);

}  // namespace lumicade::convert
