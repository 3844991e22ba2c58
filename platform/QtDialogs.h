#pragma once
// The real dialogs and shell of the running program, on Qt Widgets.
#include "Dialogs.h"

#include <QPointer>

class QWidget;

namespace lumicade {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    int messageBox(const QString& text, int buttons, const QString& title = {}) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    OpenFileResult openFiles(const OpenFileRequest& request) override;
    QString browseForFolder(const QString& prompt, const QString& startFolder) override;

    // "DWG Files (*.dwg)|*.dwg|All (*.*)|*.*" in Qt's notation: "DWG Files (*.dwg);;All (*.*)".
    static QString toQtFilter(const QString& filter);
    // The dialog's answer in the shape the program reads it: one full path
    // for one file; the folder and the names for several.
    static OpenFileResult toOpenFileResult(const QStringList& chosenPaths);
    // Message box text with its CR and CR LF breaks as the toolkit shows them.
    static QString displayText(const QString& text);

    // The open dialog's answer must fit this many characters, as the
    // program's dialog always had: folder, names and a separator each.
    static constexpr int kMaxFileNameChars = 30000;

private:
    QPointer<QWidget> owner_;
};

class QtShell : public Shell {
public:
    void open(const QString& pathOrUrl) override;
    QString programFolder() const override;
    QString desktopFolder() const override;
};

}  // namespace lumicade
