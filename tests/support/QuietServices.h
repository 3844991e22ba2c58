#pragma once
// What the main window reaches outside itself through, made harmless for
// tests and screenshots: start-up never visits the web site, and the shell
// opens nothing.
#include <QCoreApplication>
#include <QDir>

#include "Main.h"
#include "platform/Dialogs.h"

namespace lumicade::testing {

class NeverRandom : public RandomSource {
public:
    void Randomize(double) override {}
    double Rnd() override { return 0.5; }
};

class QuietShell : public Shell {
public:
    void open(const QString&) override {}
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }
    QString desktopFolder() const override { return QDir::tempPath(); }
};

}  // namespace lumicade::testing
