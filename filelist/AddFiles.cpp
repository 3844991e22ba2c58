#include "AddFiles.h"

#include "Dialogs.h"
#include "ErrorTrap.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "PathHelpers.h"
#include "VbError.h"

namespace lumicade {

namespace {
const QString kLocation = QStringLiteral("in Kestrane2021/08/31.Form1.PushButton1_Click ");

// The dialog's answer as one text: empty on cancel, the full path of a
// single file, or the folder and each chosen name separated by NULs.
QString fileNameOf(const OpenFileResult& answer)
{
    if (answer.cancelled || answer.files.isEmpty())
        return {};
    if (answer.folder.isEmpty())
        return answer.files.join(QChar(0));
    return answer.folder + QChar(0) + answer.files.join(QChar(0));
}
}  // namespace

void PushButton1_Click(FileListContext& ctx, QChar separator)
{
    ErrorTrap trap(*ctx.dialogs, kLocation);
    trap.setSpecialHandler([&](int number, const QString&) {
        if (number != ErrNo::BufferTooSmall)
            return false;
        ctx.dialogs->messageBox(QStringLiteral("You've selected too many files to add.\r\r"
                                               "Please try adding via the \"Add All\" button."),
                                MsgBox::OkOnly);
        return true;
    });

    OpenFileRequest request;
    QString fileName;
    trap.step(104, [&] { fileName.clear(); });
    // Several files may be chosen (with the read-only box, Explorer look and long names).
    trap.step(106, [&] { request.multiSelect = true; });
    trap.step(108, [&] { request.title = QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"); });
    // The design's filter first; DXF drawings, which the program reads too,
    // are offered beside it.
    trap.step(110, [&] {
        request.filter = QStringLiteral("All DWG (*.dwg)|*.dwg|DWG and DXF (*.dwg *.dxf)|*.dwg;*.dxf");
    });
    trap.step(112, [&] {
        const OpenFileResult answer = ctx.dialogs->openFiles(request);
        if (answer.errorNumber != 0)
            throw VbError::make(answer.errorNumber);
        fileName = fileNameOf(answer);
    });
    if (trap.abandoned())
        return;

    bool cancelled = true;
    trap.step(114, [&] { cancelled = fileName.isEmpty(); });
    if (cancelled)
        return;

    QStringList parts;
    trap.step(116, [&] { parts = fileName.split(QChar(0)); });
    bool single = true;
    trap.step(118, [&] { single = parts.size() <= 1; });
    if (single) {
        QString path;
        trap.step(120, [&] { path = parts.value(0); });
        trap.step(122, [&] { ctx.list->Append(path); });
        return;
    }
    int first = 1;
    int last = 0;
    trap.step(126, [&] { first = 1; });
    trap.step(128, [&] { last = static_cast<int>(parts.size()) - 1; });
    for (int i = first; i <= last; ++i) {
        QString path;
        trap.step(136, [&] { path = parts.at(0) + separator + parts.at(i); });
        trap.step(138, [&] { path = FixDoubleBackslashes(path, separator); });
        trap.step(140, [&] { ctx.list->Append(path); });
    }
}

}  // namespace lumicade
