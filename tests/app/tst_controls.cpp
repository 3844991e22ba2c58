// The pieces of the window itself: the vendor controls and the hand pointer file.
#include "HandCursor.h"
#include "VendorControls.h"

#include "platform/VbError.h"

#include <QtTest>

using namespace lumicade;

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void progressBar();
    void handCursorFile();
    void brokenCursorFiles();
};

void ControlsTest::progressBar()
{
    ProgressBar bar;
    bar.setBarText(QStringLiteral("Processing: site.dwg"));
    QCOMPARE(bar.text(), QStringLiteral("Processing: site.dwg"));
    bar.setBarValue(33.3);
    QCOMPARE(bar.value(), 333);
    bar.setBarValue(250);
    QCOMPARE(bar.barValue(), 100.0);
    bar.setBarValue(-1);
    QCOMPARE(bar.barValue(), 0.0);
    bar.setBarValue(std::nan(""));
    QCOMPARE(bar.barValue(), 0.0);
}

void ControlsTest::handCursorFile()
{
    QFile file(QStringLiteral(LUMICADE_HAND_CURSOR_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const CursorImage cursor = DecodeCursorFile(bytes);
    QCOMPARE(cursor.image.size(), QSize(32, 32));
    QCOMPARE(cursor.hotSpot, QPoint(11, 1));
    // Clear around the hand, outlined at the finger tip, filled inside.
    QCOMPARE(qAlpha(cursor.image.pixel(0, 31)), 0);
    QCOMPARE(cursor.image.pixel(11, 1), qRgba(0, 0, 0, 255));
    QCOMPARE(cursor.image.pixel(11, 3), qRgba(255, 255, 255, 255));

    // Many alpha cursors leave their mask empty: the clear rows above the
    // first drawn pixel stay clear all the same.
    QByteArray noMask = bytes;
    noMask.replace(noMask.size() - 32 * 4, 32 * 4, QByteArray(32 * 4, '\0'));
    const CursorImage unmasked = DecodeCursorFile(noMask);
    QCOMPARE(qAlpha(unmasked.image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(unmasked.image.pixel(0, 31)), 0);
    QCOMPARE(unmasked.image.pixel(11, 1), qRgba(0, 0, 0, 255));
}

void ControlsTest::brokenCursorFiles()
{
    QFile file(QStringLiteral(LUMICADE_HAND_CURSOR_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();

    auto refused = [](const QByteArray& bytes) {
        try {
            DecodeCursorFile(bytes);
        } catch (const VbError& e) {
            return e.number() == ErrNo::InvalidPicture;
        }
        return false;
    };
    QVERIFY(refused(QByteArray()));
    QVERIFY(refused(good.left(21)));
    QVERIFY(refused(good.left(good.size() - 1)));  // the mask is cut short
    QByteArray farOffset = good;
    farOffset[18] = char(0xFF);                      // image beyond the end
    QVERIFY(refused(farOffset));
    QByteArray hugeWidth = good;
    hugeWidth[22 + 4] = char(0xFF);
    hugeWidth[22 + 5] = char(0xFF);
    QVERIFY(refused(hugeWidth));
    QByteArray wrongType = good;
    wrongType[2] = 3;
    QVERIFY(refused(wrongType));

    // Any damage to the headers gives a picture or a refusal, never a read
    // outside the file (the sanitizer build watches this).
    for (int at = 0; at < 22 + 40; ++at) {
        for (const char value : {'\x00', '\x01', '\x7F', '\xFF'}) {
            QByteArray damaged = good;
            damaged[at] = value;
            try {
                const CursorImage cursor = DecodeCursorFile(damaged);
                QVERIFY(!cursor.image.isNull());
                QVERIFY(QRect(QPoint(0, 0), cursor.image.size()).contains(cursor.hotSpot));
            } catch (const VbError& e) {
                QCOMPARE(e.number(), ErrNo::InvalidPicture);
            }
        }
    }
}

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
