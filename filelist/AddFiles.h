#pragma once
// "Add DWG File(s)": the multi-select open dialog.
#include "PathHelpers.h"

namespace lumicade {
struct FileListContext;
// separator joins the dialog's folder and names (the native one by default).
void PushButton1_Click(FileListContext& ctx, QChar separator = kSeparator);
}  // namespace lumicade
