#pragma once
// Everything modal, and everything that reaches outside the program, sits
// behind these interfaces so tests can script the answers. The real
// implementations (QtDialogs, QtShell) live beside them.
#include <QString>
#include <QStringList>
#include <optional>

namespace lumicade {

// Message box buttons and icons, with the values the program's message boxes use.
namespace MsgBox {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int Exclamation = 48;
constexpr int ResultOk = 1;
constexpr int ResultYes = 6;
constexpr int ResultNo = 7;
}  // namespace MsgBox

struct OpenFileRequest {
    QString title;
    QString filter;        // "DWG Files (*.dwg)|*.dwg|..." in the program's own notation
    QString initialDir;
    bool multiSelect = true;
};

struct OpenFileResult {
    bool cancelled = true;
    QString folder;         // the folder, when several files were chosen
    QStringList files;      // names (several) or one full path (single)
    int errorNumber = 0;    // non-zero when the dialog itself failed (20476: too many files)
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Returns one of the MsgBox::Result values. An empty title means the application title.
    virtual int messageBox(const QString& text, int buttons, const QString& title = {}) = 0;
    // std::nullopt when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    virtual OpenFileResult openFiles(const OpenFileRequest& request) = 0;
    // A real folder's path, or empty text on cancel.
    virtual QString browseForFolder(const QString& prompt, const QString& startFolder) = 0;
};

// The shell: opening folders and web addresses, and where the program lives.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void open(const QString& pathOrUrl) = 0;
    virtual QString programFolder() const = 0;
    virtual QString desktopFolder() const = 0;
};

// The application title shown by message boxes that name none of their own.
QString applicationTitle();
void setApplicationTitle(const QString& title);

}  // namespace lumicade
