#pragma once
// The one scripted stand-in for everything modal: message boxes, the input
// box, the open dialog and the folder picker. It shows nothing, remembers
// what would have been shown, and answers what the test scripted.
#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace lumicade::testing {

struct ShownMessage {
    QString text;
    int buttons = 0;
    QString title;
};

class FakeDialogs : public Dialogs {
public:
    // --- message boxes ---
    std::vector<ShownMessage> messages;
    // Answers in turn; once they are used up, OK, or No to a Yes/No question.
    std::deque<int> answers;
    // Called as each box is shown, before it is answered.
    std::function<void(const ShownMessage&)> onMessage;

    // --- the input box ---
    std::optional<QString> inputAnswer;  // nullopt: cancelled
    QStringList inputPrompts, inputTitles, inputDefaults;

    // --- the open dialog ---
    OpenFileResult openAnswer;  // cancelled unless the test says otherwise
    std::vector<OpenFileRequest> openRequests;

    // --- the folder picker ---
    // Answers in turn; once they are used up, folderAnswer (empty: cancelled).
    std::deque<QString> browseAnswers;
    QString folderAnswer;
    QStringList browsePrompts, browseStarts;

    int messageBox(const QString& text, int buttons, const QString& title = {}) override
    {
        messages.push_back({text, buttons, title});
        if (onMessage)
            onMessage(messages.back());
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return (buttons & 0x0F) == MsgBox::YesNo ? MsgBox::ResultNo : MsgBox::ResultOk;
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
        if (browseAnswers.empty())
            return folderAnswer;
        const QString answer = browseAnswers.front();
        browseAnswers.pop_front();
        return answer;
    }

    // The texts of every box shown, in order.
    QStringList texts() const
    {
        QStringList all;
        for (const auto& m : messages)
            all.append(m.text);
        return all;
    }

    // The error reports ("Application Error") among them.
    QStringList reports() const
    {
        QStringList out;
        for (const auto& m : messages)
            if (m.title == QLatin1String("Application Error"))
                out.append(m.text);
        return out;
    }
    int reportCount() const { return static_cast<int>(reports().size()); }

    // The statement numbers of the error reports shown for one procedure,
    // given its location text ("in Kestrane2021/08/31.Form1.PushButton2_Click ").
    std::vector<int> reportLines(const QString& location) const
    {
        std::vector<int> lines;
        const QString at = location + QStringLiteral("at line ");
        for (const QString& report : reports()) {
            const qsizetype found = report.indexOf(at);
            if (found >= 0)
                lines.push_back(report.mid(found + at.size()).section(u'\r', 0, 0).toInt());
        }
        return lines;
    }
};

// The shell: records what it was asked to open, and names the program's
// folder and the desktop as the test chose them.
class FakeShell : public Shell {
public:
    void open(const QString& pathOrUrl) override { opened.append(pathOrUrl); }
    QString programFolder() const override { return program; }
    QString desktopFolder() const override { return desktop; }

    QString program;
    QString desktop = QStringLiteral("/tmp/Desktop/");
    QStringList opened;
};

}  // namespace lumicade::testing
