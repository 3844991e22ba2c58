#include "QtDialogs.h"

#include "FolderPicker.h"
#include "VbError.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace lumicade {

QString QtDialogs::displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

int QtDialogs::messageBox(const QString& text, int buttons, const QString& title)
{
    QMessageBox box(owner_);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);

    switch (buttons & 0x70) {
    case 16: box.setIcon(QMessageBox::Critical); break;
    case 32: box.setIcon(QMessageBox::Question); break;
    case MsgBox::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case 64: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }

    if ((buttons & 0x0F) == MsgBox::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // The close box of a Yes/No question answers No.
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgBox::ResultYes : MsgBox::ResultNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgBox::ResultOk;
}

std::optional<QString> QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(owner_, title.isEmpty() ? applicationTitle() : title,
                                                 displayText(prompt), QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

QString QtDialogs::toQtFilter(const QString& filter)
{
    // Pairs of description and pattern; Qt reads the patterns from the description.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        const QString patterns = QString(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt takes the patterns from the brackets of the description.
        if (!description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            description += QStringLiteral(" (") + patterns + QLatin1Char(')');
        entries << description;
    }
    if (entries.isEmpty() && !filter.isEmpty())
        entries << filter;
    return entries.join(QStringLiteral(";;"));
}

OpenFileResult QtDialogs::toOpenFileResult(const QStringList& chosenPaths)
{
    OpenFileResult result;
    if (chosenPaths.isEmpty())
        return result;
    result.cancelled = false;
    if (chosenPaths.size() == 1) {
        result.files << QDir::toNativeSeparators(chosenPaths.first());
        return result;
    }
    result.folder = TrimFolderSeparator(QDir::toNativeSeparators(QFileInfo(chosenPaths.first()).absolutePath()));
    qsizetype length = result.folder.size();
    for (const QString& path : chosenPaths) {
        const QString name = QFileInfo(path).fileName();
        result.files << name;
        length += 1 + name.size();
    }
    if (length + 1 > kMaxFileNameChars) {
        result.folder.clear();
        result.files.clear();
        result.errorNumber = ErrNo::BufferTooSmall;
    }
    return result;
}

OpenFileResult QtDialogs::openFiles(const OpenFileRequest& request)
{
    QFileDialog dialog(owner_, request.title, request.initialDir, toQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The names are not required to exist, as the program's dialog never did.
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList chosen = dialog.selectedFiles();
    if (!request.multiSelect && chosen.size() > 1)
        chosen = chosen.mid(0, 1);
    return toOpenFileResult(chosen);
}

QString QtDialogs::browseForFolder(const QString& prompt, const QString& startFolder)
{
    // The prompt stands above the folder view, as the program's picker always showed it.
    QDialog dialog(owner_);
    dialog.setWindowTitle(applicationTitle());
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);

    auto* picker = new QFileDialog(&dialog);
    picker->setWindowFlags(Qt::Widget);
    picker->setOption(QFileDialog::DontUseNativeDialog, true);
    picker->setOption(QFileDialog::ShowDirsOnly, true);
    picker->setFileMode(QFileDialog::Directory);
    picker->setAcceptMode(QFileDialog::AcceptOpen);
    QString start = FolderPickerStartFolder(startFolder);
    if (start.isEmpty()) {
        // No usable start folder: the top of the user's own tree.
        start = FolderPickerStartFolder(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        if (start.isEmpty())
            start = QDir::homePath();
    }
    picker->setDirectory(start);
    layout->addWidget(picker);
    QObject::connect(picker, &QFileDialog::finished, &dialog, &QDialog::done);

    if (dialog.exec() != QDialog::Accepted || picker->selectedFiles().isEmpty())
        return {};
    return FolderPickerResult(picker->selectedFiles().first());
}

void QtShell::open(const QString& pathOrUrl)
{
    const QUrl url = pathOrUrl.contains(QStringLiteral("://")) ? QUrl(pathOrUrl) : QUrl::fromLocalFile(pathOrUrl);
    // The outcome is not examined: a missing browser or file manager is no failure of ours.
    QDesktopServices::openUrl(url);
}

QString QtShell::programFolder() const
{
    if (QCoreApplication::instance())
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString QtShell::desktopFolder() const
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

}  // namespace lumicade
