#pragma once
// --skip-up-to-date: a picture made from this drawing as it is now, with the
// options of this run, by this version of the program needs no new run.
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "tools/convert/Options.h"

namespace lumicade::convert {

// The files besides the drawing whose change shows in its picture: the
// external references, images and underlays it was drawn with, and the font
// files its text styles name that lie in its folder or in a --font-dir. Fonts
// of the system's folders are left out: they change with the system, and a
// font not found at all makes the picture incomplete anyway.
std::vector<std::string> referencedFiles(const cad::Drawing& drawing, const std::string& drawingFolder,
                                         const Options& options);

// What a picture of the drawing made now, with these options, records (see
// PictureRecord.h): taken before the drawing is read, so that a change while
// it is converted shows at the next run. Empty when the drawing cannot be
// looked at. It names no referenced file and no loss yet: withReferences and
// ofIncompletePicture add them once the drawing is read and drawn.
std::string pictureRecord(const std::string& drawing, const Options& options);

// The record naming the files the drawing was drawn with, each with its
// time as it is now (read after the drawing, before its pictures are drawn).
std::string withReferences(const std::string& record, const std::vector<std::string>& files);

// The record of a picture that lacks something of its drawing. Never up to
// date: what it lacked may be found by the next run. Of the same length, so
// that a writer that already holds the record can have it replaced in place.
std::string ofIncompletePicture(const std::string& record);

// True when the picture holds the record a picture made now would hold.
// Otherwise *why says what differs: no record (an older run's picture or
// another program's), another drawing, a changed drawing or referenced
// file, a picture that was incomplete, other options, another version.
bool pictureUpToDate(const std::string& drawing, const std::string& picture, const Options& options,
                     std::string* why = nullptr);

}  // namespace lumicade::convert
