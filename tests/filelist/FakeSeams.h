#pragma once
// A context that ties the shared scripted dialogs and shell to a list and a
// settings file of the test's own.
#include "Dialogs.h"
#include "FakeDialogs.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "SettingsStore.h"

#include <QTemporaryDir>

#include <deque>
#include <memory>

namespace lumicade::testing {

// One window's worth of seams: list, dialogs, shell, settings and pointer.
struct Window {
    Window()
        : settings(std::make_unique<SettingsStore>(settingsDir.filePath(QStringLiteral("settings.ini"))))
    {
        ctx.list = &list;
        ctx.dialogs = &dialogs;
        ctx.shell = &shell;
        ctx.settings = settings.get();
        ctx.mousePointer = [this] { return pointer; };
        ctx.setMousePointer = [this](int value) {
            pointer = value;
            pointerHistory.append(value);
        };
        ctx.yield = [this] {
            ++yields;
            pointersSeenWhileYielding.append(pointer);
        };
    }

    QStringList rows() const
    {
        QStringList out;
        for (int p = 1; p <= list.Count(); ++p)
            out.append(list.RowText(p));
        return out;
    }

    QTemporaryDir settingsDir;
    ListView1 list;
    FakeDialogs dialogs;
    FakeShell shell;
    std::unique_ptr<SettingsStore> settings;
    FileListContext ctx;
    int pointer = 0;
    QList<int> pointerHistory;
    int yields = 0;
    QList<int> pointersSeenWhileYielding;
};

}  // namespace lumicade::testing
