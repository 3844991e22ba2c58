// "Start Converting": walks the rows of ListView1 and turns each drawing into
// one JPEG file. The statement numbers are the ones the error report shows.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <cmath>
#include <map>
#include <set>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <utility>

#include "cad/model/ReplacingFile.h"
#include "convert/BatchContext.h"
#include "convert/BitmapFile.h"
#include "convert/CadExport.h"
#include "convert/SaveAsJPG.h"
#include "platform/Dialogs.h"
#include "platform/ErrorTrap.h"
#include "platform/PathHelpers.h"
#include "platform/VbError.h"

namespace lumicade {
namespace {

const QString kLocation = QStringLiteral("in Kestrane2021/08/31.Form1.PushButton2_Click ");

const QString kNoCadMessage = QStringLiteral(
    "A valid version of AutoCAD was not found on this computer. You need to have it installed "
    "to use this software.\r\n\r\nNote: You must install a version of AutoCAD that supports VBA. "
    "VBA is not supported in AutoCAD LT for example.");

// The path without its last extension, dot kept ("/plans/site.final.dwg"
// gives "/plans/site.final."). Only a dot in the file name counts: a dot in
// a folder name would otherwise send the picture to a file named after that
// folder, one level up.
QString baseOf(const QString& source)
{
    const QString name = GetFileNamePart(source);
    const int dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    return source.left(source.size() - name.size() + dot + 1);
}

// Where the exported bitmap goes: a new name of our own in the drawing's
// folder, so that nothing the user keeps there (site.bmp, say) is ever
// overwritten or deleted. When that folder cannot be written, the system's
// temporary folder holds the scratch file instead: a picture meant for
// another folder is still made, and one meant for the drawing's folder fails
// under its own name rather than the scratch file's. Returns the name
// without ".bmp".
QString scratchExportName(const QString& source, const QString& base)
{
    QString folder = GetFolderPart(source);
    if (folder.isEmpty())
        folder = QDir::currentPath() + kSeparator;
    if (!QFileInfo(folder).isWritable())
        folder = QDir::tempPath() + kSeparator;
    folder = FixDoubleBackslashes(folder);

    const QString stem = GetFileNamePart(base.left(base.size() - 1));
    for (;;) {
        const QString candidate = folder + u'.' + stem + QStringLiteral(".lumicade-")
            + QString::number(QRandomGenerator::global()->generate(), 36);
        if (!QFileInfo::exists(candidate + QStringLiteral(".bmp")))
            return candidate;
    }
}

// A file as the file system knows it: the same file under another spelling
// of its path (a symbolic link, a folder reached twice, a name whose case
// the file system ignores) is still the same file.
using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileIdOf(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

// The pictures one run has written, each with the drawing it came from.
// Several drawings of one name (from different folders, or site.dwg beside
// site.dxf) meet at one output name when they go to one folder; without this
// record each would silently replace the picture before it. Pictures of
// earlier runs are not in it, so they are still replaced as always.
class RunPictures {
public:
    // Where this drawing's picture goes: the output path itself, unless this
    // run already wrote a picture of another drawing there; then the first of
    // "name (2).jpg", "name (3).jpg", ... that is not one of this run's.
    QString placeFor(const QString& output, const QString& source) const
    {
        const std::optional<FileId> drawing = fileIdOf(source);
        const QString stem = output.left(output.size() - 4);  // without ".jpg"
        QString candidate = output;
        for (int n = 2;; ++n) {
            const std::optional<FileId> there = fileIdOf(candidate);
            const auto written = there ? written_.find(*there) : written_.end();
            // The same drawing listed twice gives the same picture: replacing it loses nothing.
            if (written == written_.end() || (drawing && written->second == *drawing))
                return candidate;
            candidate = stem + QStringLiteral(" (") + QString::number(n) + QStringLiteral(").jpg");
        }
    }

    void wrote(const QString& picture, const QString& source, bool renamed)
    {
        const std::optional<FileId> id = fileIdOf(picture);
        const std::optional<FileId> drawing = fileIdOf(source);
        if (id)
            written_[*id] = drawing.value_or(FileId{});
        // A drawing listed several times writes its renamed picture again:
        // that is one picture renamed, not one per listing. (Each write is a
        // new file, so the drawing tells them apart, not the picture.)
        if (renamed && drawing)
            renamedDrawings_.insert(*drawing);
        else if (renamed)
            ++renamedUnknown_;
    }

    int renamed() const { return static_cast<int>(renamedDrawings_.size()) + renamedUnknown_; }

    // The first time this run writes into a folder, the temporary files an
    // earlier run left there a day or more ago (a power cut, a kill) go.
    void clearStaleTemporaryFiles(const QString& picture)
    {
        constexpr long kDay = 24L * 60 * 60;
        const QString folder = QFileInfo(picture).absolutePath();
        if (cleared_.insert(folder).second)
            cad::ReplacingFile::removeStale(QFile::encodeName(folder).toStdString(), kDay);
    }

private:
    std::map<FileId, FileId> written_;
    std::set<FileId> renamedDrawings_;
    int renamedUnknown_ = 0;
    std::set<QString> cleared_;
};

QString doneMessage(int renamed)
{
    QString text = QStringLiteral("Done.");
    if (renamed == 1)
        text += QStringLiteral("\r\n\r\n1 picture was given a new name such as \"name (2).jpg\", because a drawing "
                               "of the same name had already been converted into the same folder.");
    else if (renamed > 1)
        text += QStringLiteral("\r\n\r\n%1 pictures were given a new name such as \"name (2).jpg\", because drawings "
                               "of the same name had already been converted into the same folder.")
                    .arg(renamed);
    return text;
}

// Leaves the window idle again (steps 152 to 156).
void resetProgress(BatchContext& form, ErrorTrap& trap)
{
    trap.step(152, [&] { form.setMousePointer(MousePointer::Default); });
    trap.step(154, [&] { form.setProgressValue(0); });
    trap.step(156, [&] { form.setProgressText(QStringLiteral("Progress Bar")); });
}

enum class DrawingOutcome { Done, Skipped, WindowClosed };

// Steps 112 to 148 for row i.
DrawingOutcome convertRow(BatchContext& form, ErrorTrap& trap, int i, RunPictures& pictures)
{
    trap.step(112, [&] { form.setMousePointer(MousePointer::Hourglass); });
    trap.step(114, [&] {
        // Divides by the rows there are now: rows added during the run count.
        const int rows = form.rowCount();
        if (rows == 0)
            throw VbError::make(ErrNo::DivisionByZero);
        form.setProgressValue(static_cast<int>(std::lrint(double(i) / double(rows) * 100.0)));
    });
    QString source;
    trap.step(116, [&] {
        if (i > form.rowCount())
            throw VbError::make(ErrNo::SubscriptOutOfRange);
        source = form.rowText(i);
    });
    trap.step(118, [&] { form.setProgressText(QStringLiteral("Processing: ") + GetFileNamePart(source)); });
    trap.step(120, [&] { form.yield(); });
    if (form.closeRequested())
        return DrawingOutcome::WindowClosed;

    QString base;
    trap.step(122, [&] { base = baseOf(source); });

    QString scratch;
    bool exported = false;
    form.setCreatorPicture(QImage());
    trap.step(132, [&] {
        if (base.isEmpty())
            throw VbError(ErrNo::InvalidProcedureCall,
                          QStringLiteral("Cannot convert %1: the file name has no extension").arg(source));
        scratch = scratchExportName(source, base);
        ConvertDWGtoBMP(form.dialogs(), form.cadAutomation(), form.autoCADAvailable(), source, scratch);
        exported = true;
    });
    if (!exported)
        return DrawingOutcome::Skipped;
    const QString bitmap = scratch + QStringLiteral(".bmp");

    bool loaded = false;
    trap.step(134, [&] {
        if (!QFileInfo(bitmap).isFile())
            throw VbError::make(ErrNo::FileNotFound);
        const QImage picture = readBitmapFile(bitmap);
        if (picture.isNull())
            throw VbError::make(ErrNo::InvalidPicture);
        form.setCreatorPicture(picture);
        loaded = true;
    });
    trap.step(136, [&] { KillFile(bitmap); });
    // Without this drawing's own picture nothing is written for it; Creator
    // must never lend it an earlier drawing's picture.
    if (!loaded)
        return DrawingOutcome::Skipped;
    if (form.closeRequested())
        return DrawingOutcome::WindowClosed;

    QString output;
    trap.step(138, [&] { output = base + QStringLiteral("jpg"); });
    bool option1 = true;
    trap.step(140, [&] { option1 = form.option1(); });
    if (option1) {
        trap.step(142, [&] {
            output = FixDoubleBackslashes(form.text1() + kSeparator + GetFileNamePart(output));
        });
    } else {
        bool option2 = true;
        trap.step(144, [&] { option2 = form.option2(); });
        if (option2) {
            trap.step(146, [&] {
                output = FixDoubleBackslashes(GetFolderPart(source) + kSeparator + GetFileNamePart(output));
            });
        }
    }
    trap.step(148, [&] {
        const int quality = form.slider1();
        if (quality < 0 || quality > 255)
            throw VbError::make(ErrNo::Overflow);
        const QString place = pictures.placeFor(output, source);
        pictures.clearStaleTemporaryFiles(place);
        if (SaveJPG(form.dialogs(), form.creatorPicture(), place, static_cast<quint8>(quality)))
            pictures.wrote(place, source, place != output);
    });
    return DrawingOutcome::Done;
}

}  // namespace

void PushButton2_Click(BatchContext& form)
{
    ErrorTrap trap(form.dialogs(), kLocation);

    // A test whose statement fails takes its "true" branch, so each flag
    // starts out as that branch's value.
    bool running = true;
    trap.step(100, [&] { running = form.conversionRunning(); });
    if (running)
        return;
    trap.step(102, [&] { form.setConversionRunning(true); });

    const auto message = [&](int line, const QString& text) {
        trap.step(line, [&] { form.dialogs().messageBox(text, MsgBox::OkOnly); });
    };

    bool available = false;
    trap.step(104, [&] { available = form.autoCADAvailable(); });
    if (!available) {
        message(164, kNoCadMessage);
    } else {
        bool noRows = true;
        trap.step(106, [&] { noRows = form.rowCount() == 0; });
        bool folderMissing = true;
        if (!noRows)
            trap.step(108, [&] { folderMissing = !form.option2() && !FolderExists(form.text1()); });
        if (noRows) {
            message(162, QStringLiteral("No files added."));
        } else if (folderMissing) {
            message(160, QStringLiteral("Folder does not exist. Please select another folder."));
        } else {
            int n = 0;
            trap.step(110, [&] { n = form.rowCount(); });
            bool closed = false;
            RunPictures pictures;
            for (int i = 1; i <= n && !closed; ++i)
                closed = convertRow(form, trap, i, pictures) == DrawingOutcome::WindowClosed;
            resetProgress(form, trap);
            if (!closed)
                message(158, doneMessage(pictures.renamed()));
        }
    }
    trap.step(166, [&] { form.setConversionRunning(false); });
}

}  // namespace lumicade
