#pragma once
// Running lumicade-convert as scripts run it, on drawings the tests write.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>

namespace convert_tool {

// A drawing of one red line, 100 by 50 units.
inline const char* const kLineDxf =
    "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n62\n1\n10\n0\n20\n0\n30\n0\n11\n100\n21\n50\n31\n0\n0\nENDSEC\n0\nEOF\n";

// A red and a green line crossing a square, 100 by 100 units.
inline const char* const kSquareDxf =
    "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n62\n1\n10\n0\n20\n0\n30\n0\n11\n100\n21\n100\n31\n0\n"
    "0\nLINE\n8\n0\n62\n3\n10\n0\n20\n100\n30\n0\n11\n100\n21\n0\n31\n0\n0\nENDSEC\n0\nEOF\n";

struct ToolRun {
    int status = -1;
    QString err;
    QByteArray out;
};

// before, when given, runs in the child just before the converter starts
// (to set a resource limit, say).
inline ToolRun convert(const QStringList& args, const QByteArray& input = {}, std::function<void()> before = {},
                       const QString& workingDirectory = {}) {
    QProcess p;
    if (before) p.setChildProcessModifier(before);
    if (!workingDirectory.isEmpty()) p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral(LUMICADE_CONVERT_PROGRAM), args);
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError()),
            p.readAllStandardOutput()};
}

// Each of the words is in a run's messages; a failure names the one missing.
inline void expectSays(const QString& err, std::initializer_list<const char*> words) {
    for (const char* word : words)
        EXPECT_TRUE(err.contains(QLatin1String(word))) << "no \"" << word << "\" in: " << err.toStdString();
}

inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace convert_tool
