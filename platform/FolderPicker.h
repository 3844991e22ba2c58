#pragma once
// The folder picker shared by "Add All DWG File(s) In Folder" and the output
// folder's "..." button. The dialog itself sits behind Dialogs::browseForFolder;
// what it starts at and what it hands back are decided here, without a dialog.
#include <QString>

namespace lumicade {

class Dialogs;

// Shows the picker with the prompt, opened at startFolder when that is a real
// folder. Returns the chosen folder, or empty text when the user cancelled.
QString BrowseForFolder(Dialogs& dialogs, const QString& prompt, const QString& startFolder);

// The folder the picker opens at: startFolder when it names an existing
// folder, otherwise empty text (the picker's own default).
QString FolderPickerStartFolder(const QString& startFolder);

// The answer for a folder the user accepted: the path in native form without
// a final separator (a root such as "/" or "C:\" keeps its own), or empty text
// when it is not an existing folder, since only real folders may be chosen.
QString FolderPickerResult(const QString& chosen);

// The separator rule alone, for paths in either notation: trailing separators
// go, except the one that makes a root ("/", "\", "C:\", "C:/").
QString TrimFolderSeparator(const QString& folder);

}  // namespace lumicade
