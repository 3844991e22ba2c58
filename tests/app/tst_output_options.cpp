// The output options: what each control writes to the store, the enabled
// folder box, the browse button and the hover pointer.
#include "AppFakes.h"
#include "VendorControls.h"

#include "platform/PathHelpers.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

using namespace lumicade;
using namespace lumicade::testing;

namespace {
// The pointer moving over a control, with no button held.
void moveOver(QWidget* control, QPoint at = QPoint(5, 5))
{
    QMouseEvent move(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(control, &move);
}
}  // namespace

class OutputOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void optionClicksStoreBothAndSwitchFolderBox();
    void typingStoresEveryCharacter();
    void sliderChangesShowAndStoreTheQuality();
    void browseButton();
    void browseCancelChangesNothing();
    void browseFailureIsReportedAndPassedOver();
    void hoverPointer();
};

void OutputOptionsTest::optionClicksStoreBothAndSwitchFolderBox()
{
    Harness h;
    Form1& form = h.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.Option2, Qt::LeftButton);
    QVERIFY(form.Option2->isChecked());
    QVERIFY(!form.Option1->isChecked());
    QVERIFY(!form.Frame3->isEnabled());
    QVERIFY(!form.Text1->isEnabled());
    QVERIFY(!form.PushButton4->isEnabled());
    QCOMPARE(h.stored(QStringLiteral("Option1")), QStringLiteral("False"));
    QCOMPARE(h.stored(QStringLiteral("Option2")), QStringLiteral("True"));

    QTest::mouseClick(form.Option1, Qt::LeftButton);
    QVERIFY(form.Frame3->isEnabled());
    QCOMPARE(h.stored(QStringLiteral("Option1")), QStringLiteral("True"));
    QCOMPARE(h.stored(QStringLiteral("Option2")), QStringLiteral("False"));

    // With neither chosen (stored so), a click writes the state as it now is.
    Harness none;
    none.store(QStringLiteral("Option1"), QStringLiteral("False"));
    none.store(QStringLiteral("Option2"), QStringLiteral("False"));
    Form1& other = none.start();
    other.Option1->setChecked(true);
    other.Option1_Click();
    QCOMPARE(none.stored(QStringLiteral("Option1")), QStringLiteral("True"));
    QCOMPARE(none.stored(QStringLiteral("Option2")), QStringLiteral("False"));
    QVERIFY(other.Frame3->isEnabled());
}

void OutputOptionsTest::typingStoresEveryCharacter()
{
    Harness h;
    Form1& form = h.start();
    form.Text1->clear();
    QCOMPARE(h.stored(QStringLiteral("Text1")), QString());

    QStringList seen;
    QObject::connect(form.Text1, &QLineEdit::textChanged, &form,
                     [&] { seen << h.stored(QStringLiteral("Text1")); });
    QTest::keyClicks(form.Text1, QStringLiteral("/o,k"));
    // Each change was stored by the time the next one came.
    QCOMPARE(seen, (QStringList{QStringLiteral("/"), QStringLiteral("/o"), QStringLiteral("/o,"),
                               QStringLiteral("/o,k")}));
    QCOMPARE(h.stored(QStringLiteral("Text1")), QStringLiteral("/o,k"));

    // A folder that does not exist is taken as it is.
    form.Text1->setText(QStringLiteral("C:\\out\\"));
    QCOMPARE(h.stored(QStringLiteral("Text1")), QStringLiteral("C:\\out\\"));
}

void OutputOptionsTest::sliderChangesShowAndStoreTheQuality()
{
    Harness h;
    h.store(QStringLiteral("Slider1"), QStringLiteral("46"));
    Form1& form = h.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Restoring the stored value is no change of the user's: nothing rewritten.
    QCOMPARE(h.settings->GetSetting(QStringLiteral("Slider1"), QString()), QStringLiteral("46"));

    // Caption, store and the quality the next picture gets agree after each change.
    const auto agrees = [&](int expected) {
        return form.Slider1->value() == expected && form.slider1() == expected
            && form.Frame2->title() == QStringLiteral("Output JPG image quality: ") + QString::number(expected) + "%"
            && h.stored(QStringLiteral("Slider1")) == QString::number(expected);
    };

    // The keyboard: arrows step by one, page keys by five, Home and End to the ends.
    form.Slider1->setFocus();
    QTest::keyClick(form.Slider1, Qt::Key_Right);
    QVERIFY(agrees(47));
    QTest::keyClick(form.Slider1, Qt::Key_PageUp);
    QVERIFY(agrees(52));
    QTest::keyClick(form.Slider1, Qt::Key_End);
    QVERIFY(agrees(100));
    QTest::keyClick(form.Slider1, Qt::Key_Home);
    QVERIFY(agrees(0));

    // The wheel.
    const QPoint middle(form.Slider1->width() / 2, form.Slider1->height() / 2);
    QWheelEvent wheel(middle, form.Slider1->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form.Slider1, &wheel);
    QVERIFY(form.Slider1->value() > 0);
    QVERIFY(agrees(form.Slider1->value()));

    // Dragging the handle with the mouse: every value on the way is shown
    // and stored, not only the last.
    form.Slider1->setValue(50);
    QVERIFY(agrees(50));
    QStringList captions;
    QObject::connect(form.Slider1, &QSlider::valueChanged, &form, [&] { captions << form.Frame2->title(); });
    QTest::mousePress(form.Slider1, Qt::LeftButton, {}, middle);
    QMouseEvent drag(QEvent::MouseMove, QPointF(10, middle.y()), form.Slider1->mapToGlobal(QPointF(10, middle.y())),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.Slider1, &drag);
    const int dragged = form.Slider1->value();
    QVERIFY(dragged < 10);
    QVERIFY(agrees(dragged));
    QTest::mouseRelease(form.Slider1, Qt::LeftButton, {}, QPoint(10, middle.y()));
    QVERIFY(agrees(dragged));
    QVERIFY(!captions.isEmpty());
}

void OutputOptionsTest::browseButton()
{
    Harness h;
    Form1& form = h.start();
    const QString out = h.dir.filePath(QStringLiteral("out"));

    h.store(QStringLiteral("LastFolderDot"), QStringLiteral("/earlier"));
    h.dialogs.browseAnswers = {out};
    form.PushButton4_Click();
    QCOMPARE(h.dialogs.browsePrompts, QStringList{QStringLiteral("Please select folder:")});
    QCOMPARE(h.dialogs.browseStarts, QStringList{QStringLiteral("/earlier")});
    QCOMPARE(form.Text1->text(), out + kSeparator);
    QCOMPARE(form.LastOutputFolder, out);
    QCOMPARE(h.stored(QStringLiteral("LastFolderDot")), out);
    QCOMPARE(h.stored(QStringLiteral("Text1")), out + kSeparator);

    // A root keeps its one separator; the next press starts where the last ended.
    const QString root(kSeparator);
    h.dialogs.browseAnswers = {root};
    form.PushButton4_Click();
    QCOMPARE(h.dialogs.browseStarts.last(), out);
    QCOMPARE(form.Text1->text(), root);
    QCOMPARE(h.stored(QStringLiteral("Text1")), root);
    QCOMPARE(h.stored(QStringLiteral("LastFolderDot")), root);
    QVERIFY(h.dialogs.messages.empty());
    // Browsing leaves the option buttons alone.
    QCOMPARE(h.stored(QStringLiteral("Option1")), QStringLiteral("<absent>"));
}

void OutputOptionsTest::browseCancelChangesNothing()
{
    Harness h;
    h.store(QStringLiteral("LastFolderDot"), QStringLiteral("/kept"));
    Form1& form = h.start();
    const QString before = form.Text1->text();
    form.PushButton4_Click();
    QCOMPARE(h.dialogs.browseStarts, QStringList{QStringLiteral("/kept")});
    QCOMPARE(form.Text1->text(), before);
    QCOMPARE(h.stored(QStringLiteral("LastFolderDot")), QStringLiteral("/kept"));
    QCOMPARE(form.LastOutputFolder, QStringLiteral("/kept"));
    QVERIFY(h.dialogs.messages.empty());
}

void OutputOptionsTest::browseFailureIsReportedAndPassedOver()
{
    // A picker that fails reports at 100; with nothing chosen the handler then leaves.
    class FailingDialogs : public FakeDialogs {
    public:
        QString browseForFolder(const QString&, const QString&) override
        {
            throw VbError::make(ErrNo::PermissionDenied);
        }
    };
    FailingDialogs dialogs;
    Harness h;
    Form1 form(Form1Services{dialogs, h.shell, *h.settings, h.random, h.cad});
    form.Form_Load();
    const QString before = form.Text1->text();
    form.PushButton4_Click();
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QCOMPARE(dialogs.messages[0].text,
             QStringLiteral("Permission denied\r\nin Kestrane2021/08/31.Form1.PushButton4_Click at line 100\r\r"
                            "Please email screenshot of this message to support@lumicade.example"));
    QCOMPARE(form.Text1->text(), before);
}

void OutputOptionsTest::hoverPointer()
{
    Harness h;
    Form1& form = h.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    moveOver(form.PushButton3);
    QCOMPARE(form.MousePointer(), 99);
    moveOver(form.Option2);
    QCOMPARE(form.MousePointer(), 0);
    moveOver(form.PushButton4);
    QCOMPARE(form.MousePointer(), 99);
    moveOver(form.Frame4);
    QCOMPARE(form.MousePointer(), 0);
    moveOver(form.PushButton2);
    moveOver(form.Text1);
    QCOMPARE(form.MousePointer(), 0);
    moveOver(form.PushButton8);
    moveOver(&form);
    QCOMPARE(form.MousePointer(), 0);

    // Busy: the hourglass stays over everything.
    form.SetMousePointer(11);
    QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
    form.PushButton_MouseMove();
    form.Form_MouseMove();
    form.Frame_MouseMove();
    form.Option_MouseMove();
    form.Text1_MouseMove();
    QCOMPARE(form.MousePointer(), 11);

    // After the run restores the arrow, the next move over a button shows the hand.
    form.SetMousePointer(0);
    form.PushButton_MouseMove();
    QCOMPARE(form.MousePointer(), 99);
    form.Text1_MouseMove();
    QCOMPARE(form.MousePointer(), 0);
}

QTEST_MAIN(OutputOptionsTest)
#include "tst_output_options.moc"
