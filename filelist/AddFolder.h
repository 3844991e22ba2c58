#pragma once
// "Add All DWG File(s) In Folder": the folder-tree scan, shared with the drop.
#include <QStringList>

namespace lumicade {

struct FileListContext;

// Extends folders (each entry ending in one separator) in place with the
// folders below them, level by level. Each real folder is visited once, so a
// symbolic link that leads back up the tree cannot make the scan run away.
void GetSubDirectories2016(FileListContext& ctx, QStringList& folders, bool recurse);

// A folder whose subfolders the scan walks into.
bool IsToBeDescended(const QString& folder);

// A file of a scanned folder that goes into the list: an existing file that
// is not both hidden and archived.
bool IsListedTreeFile(const QString& path);

void PushButton3_Click(FileListContext& ctx);

}  // namespace lumicade
