// How the window looks: captions that fit, frame lines that are whole, and
// the white design colours on a dark desktop.
#include "AppFakes.h"
#include "Skin.h"
#include "VendorControls.h"

#include "filelist/ListView1.h"

#include <QFontInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

using namespace lumicade;
using namespace lumicade::testing;

namespace {

double luminance(const QColor& c)
{
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

QPalette darkDesktopPalette()
{
    QPalette dark;
    const QColor window(45, 45, 48), base(30, 30, 30), text(230, 230, 230);
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase, QPalette::ToolTipBase})
        dark.setColor(role, window);
    dark.setColor(QPalette::Base, base);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText,
                      QPalette::ToolTipText})
        dark.setColor(role, text);
    dark.setColor(QPalette::Light, QColor(70, 70, 70));
    dark.setColor(QPalette::Midlight, QColor(60, 60, 60));
    dark.setColor(QPalette::Mid, QColor(40, 40, 40));
    dark.setColor(QPalette::Dark, QColor(20, 20, 20));
    dark.setColor(QPalette::Shadow, Qt::black);
    return dark;
}

// Every control's text stands out from what it is drawn on.
QStringList unreadableControls(const Form1& form)
{
    QStringList unreadable;
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&form) || control->objectName().isEmpty())
            continue;
        const QPalette& p = control->palette();
        const bool field = qobject_cast<QLineEdit*>(control) || qobject_cast<ListView1*>(control);
        const QColor back = p.color(field ? QPalette::Base : QPalette::Window);
        const QColor text = p.color(field ? QPalette::Text : control->foregroundRole());
        if (std::abs(luminance(back) - luminance(text)) < 0.5)
            unreadable << control->objectName();
    }
    return unreadable;
}

}  // namespace

class LookTest : public QObject {
    Q_OBJECT
private slots:
    void whiteDesignOnADarkDesktop();
    void skinnedWindowTakesTheDesktopColours();
    void folderBoxFrameLineIsWhole();
    void captionsFitTheirControls();
};

void LookTest::whiteDesignOnADarkDesktop()
{
    const QPalette before = QApplication::palette();
    QApplication::setPalette(darkDesktopPalette());
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });

    Harness h;
    Form1& form = h.start();
    const QColor white(255, 255, 255);
    QCOMPARE(form.palette().color(QPalette::Window), white);
    for (QWidget* control : std::initializer_list<QWidget*>{form.Frame2, form.Frame3, form.Frame4, form.Option1,
                                                            form.Option2})
        QCOMPARE(control->palette().color(QPalette::Window), white);
    QCOMPARE(form.ListView1->palette().color(QPalette::Base), white);
    QCOMPARE(form.Text1->palette().color(QPalette::Base), white);
    QCOMPARE(unreadableControls(form), QStringList());

    // A change of the desktop's palette while the program runs changes nothing either.
    QApplication::setPalette(darkDesktopPalette());
    QCOMPARE(form.Option1->palette().color(QPalette::Window), white);
    QCOMPARE(unreadableControls(form), QStringList());
}

void LookTest::skinnedWindowTakesTheDesktopColours()
{
    const QPalette before = QApplication::palette();
    QApplication::setPalette(darkDesktopPalette());
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });

    Harness h;
    QDir().mkpath(h.program + QStringLiteral("/x"));
    QFile skin(h.program + QStringLiteral("/x/o.cjs"));
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { font-weight: bold; }\n");
    skin.close();
    Form1& form = h.start();
    const QColor face = SystemFaceColour();
    QCOMPARE(form.palette().color(QPalette::Window), face);
    QCOMPARE(form.Option1->palette().color(QPalette::Window), face);
    // Light text on the dark face colour, not the design's black.
    QCOMPARE(unreadableControls(form), QStringList());
}

void LookTest::folderBoxFrameLineIsWhole()
{
    Harness h;
    Form1& form = h.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage frame4 = form.Frame4->grab().toImage();
    const QRect box = form.Frame3->geometry();  // in Frame4's coordinates
    const int middle = box.center().x();
    // The frame line: the darkest row near the box's top, found where no caption is.
    int line = -1;
    for (int y = box.top(); y < box.top() + 10; ++y) {
        if (line < 0 || qGray(frame4.pixel(middle, y)) < qGray(frame4.pixel(middle, line)))
            line = y;
    }
    QVERIFY(qGray(frame4.pixel(middle, line)) < 245);
    // Under the caption of "Save results to this folder:" the line goes on.
    const QRgb lineColour = frame4.pixel(middle, line);
    for (int x = box.left() + 8; x < form.Option1->geometry().right(); ++x)
        QVERIFY2(frame4.pixel(x, line) == lineColour, qPrintable(QStringLiteral("gap in the line at x %1").arg(x)));
}

void LookTest::captionsFitTheirControls()
{
    Harness h;
    Form1& form = h.start();
    const QString family = QFontInfo(form.PushButton3->font()).family();
    if (family != QLatin1String("Arial") && family != QLatin1String("Liberation Sans"))
        QSKIP(qPrintable(QStringLiteral("Arial and its metric twin are not installed (got %1)").arg(family)));

    for (PushButton* button : {form.PushButton1, form.PushButton2, form.PushButton3, form.PushButton4,
                               form.PushButton7, form.PushButton8}) {
        // Room for the caption and a margin either side, as the design has it.
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 2 * 6;
        QVERIFY2(needed <= button->width(), qPrintable(button->text()));
    }
    for (QRadioButton* option : {form.Option1, form.Option2})
        QVERIFY2(option->width() <= 3615 / 15, qPrintable(option->text()));
    QVERIFY(form.Frame2->fontMetrics().horizontalAdvance(Form1::QualityCaption(100)) < form.Frame2->width());
}

QTEST_MAIN(LookTest)
#include "tst_look.moc"
