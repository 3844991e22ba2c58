#pragma once
// Scripted stand-ins for everything modal or outside the program, and a
// window built on them in a temporary program folder with its own settings.
#include "Form1.h"
#include "Main.h"

#include "convert/CadApplication.h"
#include "FakeDialogs.h"
#include "platform/Dialogs.h"
#include "platform/SettingsStore.h"
#include "platform/VbError.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <deque>
#include <memory>

namespace lumicade::testing {

class FixedRandom : public RandomSource {
public:
    explicit FixedRandom(double fraction = 0.5) : fraction(fraction) {}
    void Randomize(double) override { ++seeded; }
    double Rnd() override { return fraction; }
    double fraction;
    int seeded = 0;
};

// A CAD application that can be created, or one that cannot.
class FakeCad : public CadAutomation {
public:
    class App : public CadApplication {
    public:
        void setWindowState(short) override {}
        CadDocuments& Documents() override { throw VbError(CadErr::AutomationError, QStringLiteral("Automation error")); }
        CadApplication& Application() override { return *this; }
        void setVisible(bool) override {}
        void Quit() override {}
    };
    std::shared_ptr<CadApplication> GetObject(const QString&) override { return nullptr; }
    std::shared_ptr<CadApplication> CreateObject(const QString&) override
    {
        if (!available)
            throw VbError(CadErr::CantCreateObject, QStringLiteral("ActiveX component can't create object"));
        return std::make_shared<App>();
    }
    bool available = true;
};

// A program folder with a Samples folder, a settings file, and the window.
class Harness {
public:
    Harness()
    {
        QStandardPaths::setTestModeEnabled(true);
        program = dir.filePath(QStringLiteral("program"));
        QDir().mkpath(program + QStringLiteral("/Samples"));
        QFile sample(program + QStringLiteral("/Samples/plan.dxf"));
        if (sample.open(QIODevice::WriteOnly))
            sample.write("0\nEOF\n");
        shell.program = program;
        shell.desktop = dir.filePath(QStringLiteral("desktop"));
        settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini")));
    }

    // Values already stored before the program starts.
    void store(const QString& key, const QString& value) { settings->SaveSetting(key, value); }
    QString stored(const QString& key) const { return settings->GetSetting(key, QStringLiteral("<absent>")); }

    Form1& form()
    {
        if (!window)
            window = std::make_unique<Form1>(Form1Services{dialogs, shell, *settings, random, cad});
        return *window;
    }
    Form1& start()
    {
        form().Form_Load();
        return *window;
    }

    QTemporaryDir dir;
    QString program;
    FakeDialogs dialogs;
    FakeShell shell;
    FixedRandom random;
    FakeCad cad;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Form1> window;
};

}  // namespace lumicade::testing
