#pragma once
// Where the files that ship with the program are: the hand and row-drag
// pointers, the optional skin and the Samples folder. A program run from its
// build tree finds them beside itself; an installed one keeps them in the
// shared data folder (/usr/share/lumicade beside /usr/bin/lumicade).
#include <QString>
#include <QWidget>  // platform/QtDialogs.h holds a QPointer<QWidget>

#include "platform/QtDialogs.h"

namespace lumicade {

// The folder holding the program's files for a program in programDir.
// dataFromProgram is the installed data folder relative to the installed
// program folder ("../share/lumicade").
QString DataFolderFor(const QString& programDir, const QString& dataFromProgram);

// The shell of the running program, with the program folder pointing at its files.
class InstalledShell : public QtShell {
public:
    QString programFolder() const override;
};

}  // namespace lumicade
