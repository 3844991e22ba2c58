#pragma once
// What the list commands need from the main window. The window (Form1) fills
// one of these at start-up and hands it to every command of this library, so
// the commands never reach into the window itself.
#include "MousePointer.h"

#include <functional>

namespace lumicade {

class Dialogs;
class Shell;
class SettingsStore;
class ListView1;

struct FileListContext {
    ListView1* list = nullptr;   // Form1.ListView1
    Dialogs* dialogs = nullptr;
    Shell* shell = nullptr;
    SettingsStore* settings = nullptr;

    // Form1.MousePointer: read and set.
    std::function<int()> mousePointer;
    std::function<void(int)> setMousePointer;
    // DoEvents: let the window's message loop run once. Empty means "do nothing".
    std::function<void()> yield;

    bool busy() const { return mousePointer && mousePointer() == MousePointer::Hourglass; }
    void doEvents() const { if (yield) yield(); }
};

}  // namespace lumicade
