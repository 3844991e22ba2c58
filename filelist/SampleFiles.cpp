#include "SampleFiles.h"

#include "Dialogs.h"
#include "ErrorTrap.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "PathHelpers.h"
#include "SettingsStore.h"

namespace lumicade {

namespace {
const QString kSnapshot = QStringLiteral("Snapshot");
const QString kSamples = QStringLiteral("Samples");

QString samplesFolder(const FileListContext& ctx) { return ctx.shell->programFolder() + kSeparator + kSamples; }
}  // namespace

void RecordSampleFiles(FileListContext& ctx)
{
    const QString folder = samplesFolder(ctx);
    QStringList paths;
    for (const QString& name : ListFiles(folder, QStringLiteral("*.*")))
        paths.append(folder + kSeparator + name);
    ctx.settings->SaveSetting(kSnapshot, paths.join(u'|'));
}

void AddSampleFiles(FileListContext& ctx, ListView1& list)
{
    const QString recorded = ctx.settings->GetSetting(kSnapshot, QString());
    const QStringList parts = recorded.isEmpty() ? QStringList() : recorded.split(u'|');
    for (const QString& part : parts) {
        if (PathExists(part) && !IsInList(list, part))
            list.Append(part);
    }
    const int answer = ctx.dialogs->messageBox(
        QStringLiteral("Would you like this software to open the folder where these sample files are stored "
                       "(so that you can view them before working with them)?"),
        MsgBox::YesNo);
    if (answer == MsgBox::ResultYes)
        ctx.shell->open(samplesFolder(ctx) + kSeparator);
}

void PushButton8_Click(FileListContext& ctx)
{
    ErrorTrap trap(*ctx.dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.PushButton8_Click "));
    trap.step(100, [&] { AddSampleFiles(ctx, *ctx.list); });
}

}  // namespace lumicade
