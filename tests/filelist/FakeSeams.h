#pragma once
// Scripted stand-ins for the window's dialogs and shell, and a context that
// ties them to a list and a settings file of the test's own.
#include "Dialogs.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "SettingsStore.h"

#include <QTemporaryDir>

#include <deque>
#include <memory>

namespace lumicade::test {

struct ShownMessage {
    QString text;
    int buttons;
    QString title;
};

class FakeDialogs : public Dialogs {
public:
    int messageBox(const QString& text, int buttons, const QString& title) override
    {
        messages.push_back({text, buttons, title});
        if (answers.empty())
            return buttons == MsgBox::YesNo ? MsgBox::ResultNo : MsgBox::ResultOk;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        inputPrompts.append(prompt);
        inputTitles.append(title);
        inputDefaults.append(defaultText);
        return inputAnswer;
    }
    OpenFileResult openFiles(const OpenFileRequest& request) override
    {
        openRequests.push_back(request);
        return openAnswer;
    }
    QString browseForFolder(const QString& prompt, const QString& startFolder) override
    {
        browsePrompts.append(prompt);
        browseStarts.append(startFolder);
        return folderAnswer;
    }

    // Reports of the error trap ("Application Error").
    QStringList reports() const
    {
        QStringList out;
        for (const auto& m : messages)
            if (m.title == QLatin1String("Application Error"))
                out.append(m.text);
        return out;
    }

    std::vector<ShownMessage> messages;
    std::deque<int> answers;
    std::optional<QString> inputAnswer;
    QStringList inputPrompts, inputTitles, inputDefaults;
    OpenFileResult openAnswer;
    std::vector<OpenFileRequest> openRequests;
    QString folderAnswer;
    QStringList browsePrompts, browseStarts;
};

class FakeShell : public Shell {
public:
    void open(const QString& pathOrUrl) override { opened.append(pathOrUrl); }
    QString programFolder() const override { return folder; }
    QString desktopFolder() const override { return QStringLiteral("/tmp/Desktop/"); }
    QString folder;
    QStringList opened;
};

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

}  // namespace lumicade::test
