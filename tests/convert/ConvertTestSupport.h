#pragma once
// Stand-ins for the main window, the message boxes and the CAD application,
// shared by the convert and end-to-end tests.
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "convert/BatchContext.h"
#include "convert/CadApplication.h"
#include "FakeDialogs.h"
#include "platform/Dialogs.h"
#include "platform/VbError.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace lumicade::testing {

// Where the error reports of the batch run and of the export say they come from.
inline const QString kBatchLocation = QStringLiteral("in Kestrane2021/08/31.Form1.PushButton2_Click ");
inline const QString kExportLocation = QStringLiteral("in Kestrane2021/08/31.Form1.ConvertDWGtoBMP ");

// The CAD application as a script: each call is logged, and the script says
// which ones fail. Export writes a real bitmap filled with the colour chosen
// for the drawing, so tests can tell whose picture ended up in a JPEG.
class ScriptedCad : public CadAutomation {
public:
    bool running = false;          // an instance is open to attach to
    bool createFails = false;
    QStringList failOpen;          // drawing paths that will not open
    QStringList failExport;        // drawing paths whose export fails
    QStringList exportWritesNothing;  // "succeeds" without a file
    std::map<QString, QColor> colours;  // picture colour per drawing path
    QSize pictureSize{64, 48};
    QStringList log;
    std::function<void(const QString&)> onCall;
    std::weak_ptr<CadApplication> lastApplication;

    std::shared_ptr<CadApplication> GetObject(const QString& classId) override;
    std::shared_ptr<CadApplication> CreateObject(const QString& classId) override;

    void note(const QString& call)
    {
        log << call;
        if (onCall)
            onCall(call);
    }
    int count(const QString& prefix) const
    {
        int n = 0;
        for (const auto& c : log)
            n += c.startsWith(prefix);
        return n;
    }
    QStringList exportNames() const
    {
        QStringList names;
        for (const auto& c : log)
            if (c.startsWith(QStringLiteral("Export ")))
                names << c.mid(7).section(u'|', 0, 0);
        return names;
    }
};

// The main window as plain data. Every change of the progress bar and the
// pointer is kept so tests can read the whole course of a run.
class FakeForm : public BatchContext {
public:
    FakeForm(Dialogs& dialogs, CadAutomation& cad) : dialogs_(dialogs), cad_(cad) {}

    QStringList rows;
    QString folderText;
    bool opt1 = false, opt2 = true;
    int quality = 90;
    bool available = true;
    bool running = false;
    bool closed = false;
    int pointer = 0;
    int progress = 0;
    QString barText = QStringLiteral("Progress Bar");
    QImage creator;
    std::vector<int> progressValues;
    QStringList progressTexts;
    std::vector<int> pointers;
    int yields = 0;
    std::function<void()> onYield;

    int rowCount() const override { return int(rows.size()); }
    QString rowText(int row) const override
    {
        if (row < 1 || row > rows.size())
            throw VbError(35600, QStringLiteral("Index out of bounds"));
        return rows[row - 1];
    }
    QString text1() const override { return folderText; }
    bool option1() const override { return opt1; }
    bool option2() const override { return opt2; }
    int slider1() const override { return quality; }
    void setProgressValue(int value) override
    {
        progress = value;
        progressValues.push_back(value);
    }
    int progressValue() const override { return progress; }
    void setProgressText(const QString& text) override
    {
        barText = text;
        progressTexts << text;
    }
    QString progressText() const override { return barText; }
    void setCreatorPicture(const QImage& picture) override { creator = picture; }
    QImage creatorPicture() const override { return creator; }
    int mousePointer() const override { return pointer; }
    void setMousePointer(int p) override
    {
        pointer = p;
        pointers.push_back(p);
    }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    bool closeRequested() const override { return closed; }
    bool autoCADAvailable() const override { return available; }
    bool conversionRunning() const override { return running; }
    void setConversionRunning(bool r) override { running = r; }
    Dialogs& dialogs() override { return dialogs_; }
    CadAutomation& cadAutomation() override { return cad_; }

private:
    Dialogs& dialogs_;
    CadAutomation& cad_;
};

}  // namespace lumicade::testing
