#pragma once
// The values of the main window's mouse pointer, and of the file list's own.
// The hourglass doubles as the program's busy marker: row removal, Clear List
// and the hover handlers leave things alone while the window shows it.
namespace lumicade::MousePointer {

constexpr int Default = 0;
constexpr int Arrow = 1;       // the list's pointer after a release
constexpr int Hourglass = 11;  // busy: a batch run or a folder scan
constexpr int Custom = 99;     // the hand over the push buttons, the drag image over the list

}  // namespace lumicade::MousePointer
