// The seams under the window: the error trap and its report, the settings
// store and its conversions, the folder picker's rules and the open dialog's
// answer.
#include "FakeDialogs.h"

#include "platform/ErrorTrap.h"
#include "platform/FolderPicker.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"
#include "platform/VbError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace lumicade;
using namespace lumicade::testing;

class PlatformSeamsTest : public QObject {
    Q_OBJECT
private slots:
    void reportText();
    void trapResumesAndCounts();
    void trapSpecialHandler();
    void settingsRoundTrip();
    void wholeNumberConversion_data();
    void wholeNumberConversion();
    void booleanConversion_data();
    void booleanConversion();
    void folderPickerRules();
    void openDialogAnswer();
};

void PlatformSeamsTest::reportText()
{
    QCOMPARE(ErrorTrap::reportText(QStringLiteral("Type mismatch"),
                                   QStringLiteral("in Kestrane2021/08/31.Form1.Form_Load "), 138),
             QStringLiteral("Type mismatch\r\nin Kestrane2021/08/31.Form1.Form_Load at line 138\r\r"
                            "Please email screenshot of this message to support@lumicade.example"));
    QCOMPARE(QString::fromLatin1(ErrorTrap::kTitle), QStringLiteral("Application Error"));
}

void PlatformSeamsTest::trapResumesAndCounts()
{
    FakeDialogs dialogs;
    ErrorTrap trap(dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.PushButton7_Click "));

    // Before the first statement: line 0.
    trap.report(QStringLiteral("File not found"), 0);
    QVERIFY(dialogs.messages.back().text.startsWith(
        QStringLiteral("File not found\r\nin Kestrane2021/08/31.Form1.PushButton7_Click at line 0\r\r")));

    QStringList ran;
    QVERIFY(trap.step(100, [&] { ran << "100"; }));
    QVERIFY(!trap.step(102, [&] { throw VbError::make(ErrNo::PathNotFound); }));
    QVERIFY(trap.step(104, [&] { ran << "104"; }));
    QVERIFY(!trap.step(106, [&] { throw std::runtime_error("disk full"); }));
    QVERIFY(trap.step(108, [&] { ran << "108"; }));
    QCOMPARE(ran, (QStringList{"100", "104", "108"}));
    QCOMPARE(trap.failures(), 3);
    QCOMPARE(dialogs.messages.size(), std::size_t(3));
    QVERIFY(dialogs.messages[1].text.startsWith(QStringLiteral("Path not found\r\n")));
    QVERIFY(dialogs.messages[1].text.contains(QStringLiteral("at line 102\r\r")));
    QVERIFY(dialogs.messages[2].text.startsWith(QStringLiteral("disk full\r\n")));
    QVERIFY(dialogs.messages[2].text.contains(QStringLiteral("at line 106\r\r")));
    for (const ShownMessage& m : dialogs.messages) {
        QCOMPARE(m.title, QStringLiteral("Application Error"));
        QCOMPARE(m.buttons, MsgBox::OkOnly | MsgBox::Exclamation);
    }
    QVERIFY(!trap.abandoned());
}

void PlatformSeamsTest::trapSpecialHandler()
{
    FakeDialogs dialogs;
    ErrorTrap trap(dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.PushButton1_Click "));
    trap.setSpecialHandler([&](int number, const QString&) {
        if (number != ErrNo::BufferTooSmall)
            return false;
        dialogs.messageBox(QStringLiteral("too many"), MsgBox::OkOnly);
        return true;
    });
    QVERIFY(!trap.step(110, [] { throw VbError::make(ErrNo::FileNotFound); }));
    QVERIFY(!trap.abandoned());
    QVERIFY(!trap.step(112, [] { throw VbError::make(ErrNo::BufferTooSmall); }));
    QVERIFY(trap.abandoned());
    QCOMPARE(dialogs.messages.size(), std::size_t(2));
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(dialogs.messages[1].text, QStringLiteral("too many"));
}

void PlatformSeamsTest::settingsRoundTrip()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("s.ini"));
    {
        SettingsStore store(file);
        QCOMPARE(store.GetSetting(QStringLiteral("Slider1"), QStringLiteral("85")), QStringLiteral("85"));
        // Texts come back exactly, whatever characters they hold.
        store.SaveSetting(QStringLiteral("Text1"), QStringLiteral("C:\\a,b\\ \"q\" @x;"));
        store.SaveSetting(QStringLiteral("Snapshot"), QStringLiteral("/s/a b.dwg|/s/c,d.dwg"));
        store.SaveSetting(QStringLiteral("Extension"), QString());
        store.SaveSetting(QStringLiteral("Option1"), SettingsStore::FromBoolean(false));
    }
    // A second store on the same file (the next run, or a second copy) sees them.
    SettingsStore again(file);
    QCOMPARE(again.GetSetting(QStringLiteral("Text1"), QString()), QStringLiteral("C:\\a,b\\ \"q\" @x;"));
    QCOMPARE(again.GetSetting(QStringLiteral("Snapshot"), QString()), QStringLiteral("/s/a b.dwg|/s/c,d.dwg"));
    // Stored empty is not absent.
    QCOMPARE(again.GetSetting(QStringLiteral("Extension"), QStringLiteral("dwg")), QString());
    QCOMPARE(again.GetSetting(QStringLiteral("Option1"), QStringLiteral("1")), QStringLiteral("False"));

    // The section is "Lumicade" in the file.
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().contains("[Lumicade]"));

    // An unquoted list written by hand reads back as the text it was.
    QTemporaryDir other;
    const QString edited = other.filePath(QStringLiteral("e.ini"));
    QFile hand(edited);
    QVERIFY(hand.open(QIODevice::WriteOnly));
    hand.write("[Lumicade]\nText1=/out/a,b/\n");
    hand.close();
    QCOMPARE(SettingsStore(edited).GetSetting(QStringLiteral("Text1"), QString()), QStringLiteral("/out/a,b/"));

    // A store that cannot be written says so; nothing there reads as absent.
    SettingsStore unwritable(QStringLiteral("/proc/no-such-folder/settings.ini"));
    QCOMPARE(unwritable.GetSetting(QStringLiteral("Slider1"), QStringLiteral("85")), QStringLiteral("85"));
    try {
        unwritable.SaveSetting(QStringLiteral("Slider1"), QStringLiteral("40"));
        QFAIL("a save that went nowhere passed as done");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), ErrNo::PermissionDenied);
    }
}

void PlatformSeamsTest::wholeNumberConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("error");
    QTest::newRow("plain") << "85" << 85 << 0;
    QTest::newRow("blanks") << " 40 " << 40 << 0;
    QTest::newRow("sign") << "-3" << -3 << 0;
    QTest::newRow("half rounds to even") << "2.5" << 2 << 0;
    QTest::newRow("half rounds to even, up") << "3.5" << 4 << 0;
    QTest::newRow("exponent") << "1e2" << 100 << 0;
    QTest::newRow("hex") << "&H1F" << 31 << 0;
    QTest::newRow("letters") << "abc" << 0 << 13;
    QTest::newRow("empty") << "" << 0 << 13;
    QTest::newRow("trailing letters") << "85%" << 0 << 13;
    QTest::newRow("infinity") << "inf" << 0 << 13;
    QTest::newRow("not a number") << "nan" << 0 << 13;
    QTest::newRow("too large") << "3000000000" << 0 << 6;
}

void PlatformSeamsTest::wholeNumberConversion()
{
    QFETCH(QString, text);
    QFETCH(int, error);
    try {
        const int value = SettingsStore::ToWholeNumber(text);
        QCOMPARE(error, 0);
        QTEST(value, "value");
    } catch (const VbError& e) {
        QCOMPARE(e.number(), error);
    }
}

void PlatformSeamsTest::booleanConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("mismatch");
    QTest::newRow("True") << "True" << true << false;
    QTest::newRow("False") << "False" << false << false;
    QTest::newRow("lower case") << "true" << true << false;
    QTest::newRow("1") << "1" << true << false;
    QTest::newRow("0") << "0" << false << false;
    QTest::newRow("-1") << "-1" << true << false;
    QTest::newRow("fraction") << "0.5" << true << false;
    QTest::newRow("yes") << "yes" << false << true;
    QTest::newRow("empty") << "" << false << true;
}

void PlatformSeamsTest::booleanConversion()
{
    QFETCH(QString, text);
    QFETCH(bool, mismatch);
    try {
        const bool value = SettingsStore::ToBoolean(text);
        QVERIFY(!mismatch);
        QTEST(value, "value");
    } catch (const VbError& e) {
        QVERIFY(mismatch);
        QCOMPARE(e.number(), ErrNo::TypeMismatch);
        QCOMPARE(e.description(), QStringLiteral("Type mismatch"));
    }
}

void PlatformSeamsTest::folderPickerRules()
{
    QCOMPARE(TrimFolderSeparator(QStringLiteral("C:\\plans\\")), QStringLiteral("C:\\plans"));
    QCOMPARE(TrimFolderSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
    QCOMPARE(TrimFolderSeparator(QStringLiteral("\\\\server\\share\\folder\\")), QStringLiteral("\\\\server\\share\\folder"));
    QCOMPARE(TrimFolderSeparator(QStringLiteral("/")), QStringLiteral("/"));
    QCOMPARE(TrimFolderSeparator(QStringLiteral("/home/a//")), QStringLiteral("/home/a"));

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("plans"));
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(FolderPickerResult(folder + QStringLiteral("/")), QDir::toNativeSeparators(folder));
    QCOMPARE(FolderPickerResult(QStringLiteral("/")), QDir::toNativeSeparators(QStringLiteral("/")));
    // Only real folders: a file or a missing path is no answer.
    QFile file(dir.filePath(QStringLiteral("f.dwg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(FolderPickerResult(file.fileName()), QString());
    QCOMPARE(FolderPickerResult(dir.filePath(QStringLiteral("gone"))), QString());
    QCOMPARE(FolderPickerResult(QString()), QString());

    QCOMPARE(FolderPickerStartFolder(folder), folder);
    QCOMPARE(FolderPickerStartFolder(dir.filePath(QStringLiteral("gone"))), QString());
    QCOMPARE(FolderPickerStartFolder(file.fileName()), QString());

    FakeDialogs dialogs;
    dialogs.browseAnswers = {folder};
    QCOMPARE(BrowseForFolder(dialogs, QStringLiteral("Please select folder:"), QStringLiteral("/start")), folder);
    QCOMPARE(dialogs.browseStarts, QStringList{QStringLiteral("/start")});
    QCOMPARE(BrowseForFolder(dialogs, QStringLiteral("Please select folder:"), folder), QString());
}

void PlatformSeamsTest::openDialogAnswer()
{
    QVERIFY(QtDialogs::toOpenFileResult({}).cancelled);

    const OpenFileResult one = QtDialogs::toOpenFileResult({QStringLiteral("/plans/a.dwg")});
    QVERIFY(!one.cancelled);
    QVERIFY(one.folder.isEmpty());
    QCOMPARE(one.files, QStringList{QStringLiteral("/plans/a.dwg")});

    const OpenFileResult two = QtDialogs::toOpenFileResult({QStringLiteral("/plans/a.dwg"), QStringLiteral("/plans/b.dwg")});
    QCOMPARE(two.folder, QStringLiteral("/plans"));
    QCOMPARE(two.files, (QStringList{QStringLiteral("a.dwg"), QStringLiteral("b.dwg")}));
    QCOMPARE(two.errorNumber, 0);

    const OpenFileResult root = QtDialogs::toOpenFileResult({QStringLiteral("/a.dwg"), QStringLiteral("/b.dwg")});
    QCOMPARE(root.folder, QStringLiteral("/"));

    // More than the answer can hold: the dialog's buffer-too-small failure, nothing chosen.
    QStringList many;
    for (int i = 0; i < 2000; ++i)
        many << QStringLiteral("/plans/drawing-number-%1.dwg").arg(i, 4, 10, QLatin1Char('0'));
    const OpenFileResult overflow = QtDialogs::toOpenFileResult(many);
    QCOMPARE(overflow.errorNumber, ErrNo::BufferTooSmall);
    QVERIFY(overflow.files.isEmpty());

    QCOMPARE(QtDialogs::toQtFilter(QStringLiteral("All DWG (*.dwg)|*.dwg")), QStringLiteral("All DWG (*.dwg)"));
    QCOMPARE(QtDialogs::toQtFilter(QStringLiteral("Drawings|*.dwg;*.dxf|All (*.*)|*.*")),
             QStringLiteral("Drawings (*.dwg *.dxf);;All (*.*)"));
    QCOMPARE(QtDialogs::displayText(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
}

QTEST_MAIN(PlatformSeamsTest)
#include "tst_seams.moc"
