// Where the window finds the files it ships with: beside the program in the
// build tree, in the shared data folder when installed.
#include "DataFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace lumicade;

class DataFolderTest : public QObject {
    Q_OBJECT
private slots:
    void besideTheProgramOrInstalled();
};

void DataFolderTest::besideTheProgramOrInstalled()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir top(root.path());
    const QString dataFromProgram = QStringLiteral("../share/lumicade");

    // Installed: the program in bin, its files in share/lumicade.
    QVERIFY(top.mkpath(QStringLiteral("usr/bin")));
    QVERIFY(top.mkpath(QStringLiteral("usr/share/lumicade/Samples")));
    const QString bin = top.filePath(QStringLiteral("usr/bin"));
    QCOMPARE(DataFolderFor(bin, dataFromProgram),
             QDir::toNativeSeparators(top.filePath(QStringLiteral("usr/share/lumicade"))));

    // The build tree: the files are beside the program, and win over an
    // installed copy next to it.
    QFile hand(top.filePath(QStringLiteral("usr/bin/HAND-M.CUR")));
    QVERIFY(hand.open(QIODevice::WriteOnly));
    hand.close();
    QCOMPARE(DataFolderFor(bin, dataFromProgram), bin);

    // Neither: the program folder, where the window copes without them.
    QVERIFY(top.mkpath(QStringLiteral("opt/tool")));
    const QString bare = top.filePath(QStringLiteral("opt/tool"));
    QCOMPARE(DataFolderFor(bare, dataFromProgram), bare);

    // A Samples folder alone also marks the program folder.
    QVERIFY(top.mkpath(QStringLiteral("opt/tool/Samples")));
    QVERIFY(top.mkpath(QStringLiteral("opt/share/lumicade")));
    QCOMPARE(DataFolderFor(bare, dataFromProgram), bare);
}

QTEST_GUILESS_MAIN(DataFolderTest)
#include "tst_data_folder.moc"
