#pragma once
// Files and folders dropped from the file manager onto the list.
#include <QStringList>

namespace lumicade {
struct FileListContext;
// Dropped files are added as given; dropped folders are added with every
// file of their tree (names beginning with "~" and hidden archived files left out).
void DropPaths(FileListContext& ctx, const QStringList& paths);
}  // namespace lumicade
