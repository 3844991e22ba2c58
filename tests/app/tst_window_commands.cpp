// The window's buttons reach the list commands and the batch run: a drawing
// listed in the window comes out as a JPEG in the chosen folder.
#include "AppFakes.h"
#include "VendorControls.h"

#include "convert/EngineCadApplication.h"
#include "filelist/ListView1.h"
#include "platform/PathHelpers.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace lumicade;
using namespace lumicade::testing;

class WindowCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void listButtons();
    void startConvertingWritesTheJpeg();
};

void WindowCommandsTest::listButtons()
{
    Harness h;
    Form1& form = h.start();

    form.PushButton8->click();
    QCOMPARE(form.ListView1->Count(), 1);
    QCOMPARE(form.ListView1->RowText(1), h.program + kSeparator + QStringLiteral("Samples") + kSeparator
                                             + QStringLiteral("plan.dxf"));
    QCOMPARE(h.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(h.dialogs.messages[0].buttons, MsgBox::YesNo);
    QVERIFY(h.shell.opened.isEmpty());

    // Busy: "Clear List" is refused; afterwards it clears.
    form.SetMousePointer(MousePointer::Hourglass);
    form.PushButton7->click();
    QCOMPARE(form.ListView1->Count(), 1);
    form.SetMousePointer(MousePointer::Default);
    form.PushButton7->click();
    QCOMPARE(form.ListView1->Count(), 0);
}

void WindowCommandsTest::startConvertingWritesTheJpeg()
{
    Harness h;
    EngineCadAutomation engine;
    Form1 form(Form1Services{h.dialogs, h.shell, *h.settings, h.random, engine});
    form.Form_Load();
    QVERIFY(form.AutoCADAvailable);
    QVERIFY(h.dialogs.messages.empty());

    const QString plans = h.dir.filePath(QStringLiteral("plans"));
    const QString out = h.dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(plans));
    QVERIFY(QDir().mkpath(out));
    const QString drawing = plans + QStringLiteral("/site.dxf");
    QVERIFY(QFile::copy(QStringLiteral(LUMICADE_DRAWINGS_DIR "/sample_r14.dxf"), drawing));

    form.Text1->setText(out + kSeparator);
    form.ListView1->Append(drawing);
    form.PushButton2->click();

    QFile jpeg(out + QStringLiteral("/site.jpg"));
    QVERIFY2(jpeg.open(QIODevice::ReadOnly), qPrintable(jpeg.fileName()));
    QVERIFY(jpeg.read(2) == QByteArray("\xFF\xD8", 2));
    QVERIFY(!QFile::exists(plans + QStringLiteral("/site.bmp")));

    QCOMPARE(h.dialogs.messages.size(), std::size_t(1));
    QCOMPARE(h.dialogs.messages[0].text, QStringLiteral("Done."));
    QCOMPARE(form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(form.ProgressBar1->barValue(), 0.0);
    QCOMPARE(form.MousePointer(), MousePointer::Default);
    QVERIFY(!form.ConversionRunning);
    // A run stores nothing.
    QCOMPARE(h.stored(QStringLiteral("Slider1")), QStringLiteral("<absent>"));
}

QTEST_MAIN(WindowCommandsTest)
#include "tst_window_commands.moc"
