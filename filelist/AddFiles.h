#pragma once
// "Add DWG File(s)": the multi-select open dialog.
namespace lumicade {
struct FileListContext;
void PushButton1_Click(FileListContext& ctx);
}  // namespace lumicade
