#include "ClearList.h"

#include "Dialogs.h"
#include "DropFiles.h"
#include "ErrorTrap.h"
#include "FileListContext.h"
#include "ListView1.h"

namespace lumicade {

void PushButton7_Click(FileListContext& ctx)
{
    ErrorTrap trap(*ctx.dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.PushButton7_Click "));
    bool busy = true;
    trap.step(100, [&] { busy = ctx.busy(); });
    if (busy)
        return;
    trap.step(100, [&] { ctx.list->Clear(); });
}

void ConnectFileList(FileListContext& ctx)
{
    FileListContext* shared = &ctx;
    ctx.list->setWindowPointer([shared] { return shared->mousePointer ? shared->mousePointer() : MousePointer::Default; },
                               [shared](int value) {
                                   if (shared->setMousePointer)
                                       shared->setMousePointer(value);
                               });
    if (ctx.shell)
        ctx.list->setProgramFolder(ctx.shell->programFolder());
    ctx.list->setDropHandler([shared](const QStringList& paths) { DropPaths(*shared, paths); });
}

}  // namespace lumicade
