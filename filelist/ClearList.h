#pragma once
// "Clear List", and the wiring of the list's own handlers to the window.
namespace lumicade {
struct FileListContext;
void PushButton7_Click(FileListContext& ctx);
// Connects ctx.list to the window's pointer and the drop to the list commands.
// ctx must outlive the list.
void ConnectFileList(FileListContext& ctx);
}  // namespace lumicade
