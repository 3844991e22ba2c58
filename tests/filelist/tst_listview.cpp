// ListView1's own editing: swap-drag, scrolling at the screen thresholds,
// removal by double-click and Delete, Clear List, and the busy refusal.
#include "ClearList.h"
#include "FakeSeams.h"

#include "VbError.h"

#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

using namespace lumicade;
using namespace lumicade::testing;

namespace {

void fill(ListView1& list, const QStringList& rows)
{
    for (const QString& row : rows)
        list.Append(row);
}

QPoint centreOf(const ListView1& list, int p)
{
    return list.visualItemRect(list.topLevelItem(p - 1)).center();
}

// Press on row `from`, then one pointer move onto row `to` with the screen
// pointer at height screenY.
void dragStep(ListView1& list, int from, int to, int screenY)
{
    list.setCursorPosition([screenY] { return QPoint(100, screenY); });
    list.ListView1_MouseDown();
    list.ListView1_ItemClick(from);
    list.ListView1_MouseMove(centreOf(list, to));
}

}  // namespace

class ListViewTest : public QObject {
    Q_OBJECT
private slots:
    void appendCountTextRemoveClear();
    void swapDragSkippingTheMiddleRow();
    void dragOverSamePathThenOnward();
    void dragOverEmptyAreaOrWithoutPressChangesNothing();
    void dragSurvivesRemovalOfTheDraggedRow();
    void scrollThresholds_data();
    void scrollThresholds();
    void realMouseDragAndRelease();
    void removeSelectedRow();
    void removalAndClearingRefusedWhileBusy();
    void clearListReportsAtLine100();
    void hoverResetsWindowPointerUnlessBusy();
    void failingSeamDoesNotEndTheProgram();
    void dragOverRefusesDataWithoutFiles();
    void dragPointerFromTheProgramFolder();
    void doubleClickRemovalLeavesTheNextRowChosen();
    void columnDividerCanBeTakenEitherSide();
};

void ListViewTest::appendCountTextRemoveClear()
{
    ListView1 list;
    list.AddColumn("DWG File(s)", 467);
    QCOMPARE(list.headerItem()->text(0), QString("DWG File(s)"));
    QCOMPARE(list.columnWidth(0), 467);
    fill(list, {"a", "b", "a"});  // duplicates are allowed
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.RowText(3), QString("a"));
    list.SetRowText(2, "B");
    list.Remove(1);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.RowText(1), QString("B"));
    QCOMPARE(list.RowText(9), QString());
    list.Remove(9);  // out of range: nothing
    list.Clear();
    QCOMPARE(list.Count(), 0);
}

void ListViewTest::swapDragSkippingTheMiddleRow()
{
    ListView1 list;
    list.resize(500, 300);
    fill(list, {"A", "B", "C"});
    dragStep(list, 1, 3, 330);
    QCOMPARE(list.RowText(1), QString("C"));
    QCOMPARE(list.RowText(2), QString("B"));
    QCOMPARE(list.RowText(3), QString("A"));
    QCOMPARE(list.SelectedRow(), 3);
    QCOMPARE(list.DragItem(), 3);  // follows the dragged path
    QCOMPARE(list.HitItem(), 0);   // cleared after every move
    QVERIFY(list.IsDragging());
    list.ListView1_MouseUp();
    QVERIFY(!list.IsDragging());
    QCOMPARE(list.MousePointer(), int(MousePointer::Arrow));
    QCOMPARE(list.DragItem(), 3);  // kept until the next row click
}

void ListViewTest::dragOverSamePathThenOnward()
{
    ListView1 list;
    list.resize(500, 300);
    fill(list, {"A", "A", "B"});
    dragStep(list, 1, 2, 330);
    QCOMPARE(list.RowText(1), QString("A"));
    QCOMPARE(list.RowText(2), QString("A"));
    QCOMPARE(list.DragItem(), 1);
    list.ListView1_MouseMove(centreOf(list, 3));
    QCOMPARE(list.RowText(1), QString("B"));
    QCOMPARE(list.RowText(3), QString("A"));
    QCOMPARE(list.SelectedRow(), 3);
}

void ListViewTest::dragOverEmptyAreaOrWithoutPressChangesNothing()
{
    ListView1 list;
    list.resize(500, 300);
    fill(list, {"A", "B", "C"});
    dragStep(list, 1, 1, 330);
    list.ListView1_MouseMove(QPoint(50, 280));  // below the last row
    QCOMPARE(list.RowText(1), QString("A"));
    QCOMPARE(list.RowText(3), QString("C"));

    list.ListView1_MouseUp();
    list.ListView1_MouseMove(centreOf(list, 3));  // moves after the release do not drag
    QCOMPARE(list.RowText(1), QString("A"));
    QCOMPARE(list.RowText(3), QString("C"));
}

void ListViewTest::dragSurvivesRemovalOfTheDraggedRow()
{
    ListView1 list;
    list.resize(500, 300);
    fill(list, {"A", "B", "C"});
    dragStep(list, 1, 1, 330);
    list.Remove(1);  // e.g. a double-click during the drag
    QCOMPARE(list.DragItem(), 0);
    list.ListView1_MouseMove(centreOf(list, 2));
    QCOMPARE(list.RowText(1), QString("B"));
    QCOMPARE(list.RowText(2), QString("C"));
}

void ListViewTest::scrollThresholds_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("topRow");  // first visible row before the step
    QTest::addColumn<int>("hitRow");
    QTest::addColumn<int>("screenY");
    QTest::addColumn<int>("expectedTop");
    QTest::newRow("304, over row 1: nothing") << 9 << 1 << 1 << 304 << 1;
    QTest::newRow("304, over row 5: row 4 shown") << 9 << 5 << 5 << 304 << 4;
    QTest::newRow("305, over row 5: nothing") << 9 << 5 << 5 << 305 << 5;
    QTest::newRow("364, over row 5: nothing") << 9 << 5 << 5 << 364 << 5;
    QTest::newRow("365, over last row: nothing") << 9 << 6 << 9 << 365 << 6;
    QTest::newRow("365, over row 5 of 9: row 6 shown") << 9 << 2 << 5 << 365 << 3;
}

void ListViewTest::scrollThresholds()
{
    QFETCH(int, rows);
    QFETCH(int, topRow);
    QFETCH(int, hitRow);
    QFETCH(int, screenY);
    QFETCH(int, expectedTop);

    ListView1 list;
    list.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QStringList names;
    for (int i = 1; i <= rows; ++i)
        names.append(QStringLiteral("row %1").arg(i));
    fill(list, names);
    // Room for exactly four rows.
    const int rowHeight = list.sizeHintForRow(0);
    list.resize(300, rowHeight * 4 + list.header()->sizeHint().height() + 2 * list.frameWidth());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.verticalScrollBar()->setValue(topRow - 1);
    QCOMPARE(list.RowAt(QPoint(5, rowHeight / 2)), topRow);

    // Drag from a row other than the hit row so that the step swaps.
    const int from = hitRow == topRow ? topRow + 1 : topRow;
    dragStep(list, from, hitRow, screenY);
    QCOMPARE(list.RowText(hitRow), QStringLiteral("row %1").arg(from));
    QCOMPARE(list.verticalScrollBar()->value() + 1, expectedTop);
}

void ListViewTest::realMouseDragAndRelease()
{
    ListView1 list;
    fill(list, {"A", "B", "C"});
    list.resize(400, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setCursorPosition([] { return QPoint(0, 330); });
    QWidget* viewport = list.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, centreOf(list, 1));
    QVERIFY(list.IsDragging());
    QCOMPARE(list.DragItem(), 1);
    QMouseEvent move(QEvent::MouseMove, centreOf(list, 3), viewport->mapToGlobal(centreOf(list, 3)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centreOf(list, 3));
    QCOMPARE(list.RowText(1), QString("C"));
    QCOMPARE(list.RowText(3), QString("A"));
    QVERIFY(!list.IsDragging());
}

void ListViewTest::removeSelectedRow()
{
    Window w;
    ConnectFileList(w.ctx);
    fill(w.list, {"A", "B", "C"});
    w.list.ListView1_DblClick();  // nothing selected
    QCOMPARE(w.list.Count(), 3);

    w.list.SelectRow(2);
    w.list.ListView1_DblClick();
    QCOMPARE(w.rows(), (QStringList{"A", "C"}));
    QCOMPARE(w.list.SelectedRow(), 2);  // the row that moved up is chosen

    w.list.SelectRow(1);
    QTest::keyClick(&w.list, Qt::Key_Delete, Qt::ShiftModifier);  // modifiers do not matter
    QCOMPARE(w.rows(), QStringList{"C"});

    w.list.SelectRow(1);
    w.list.ListView1_KeyDown(45, 0);  // Insert is not Delete
    QCOMPARE(w.list.Count(), 1);
    w.list.ListView1_KeyDown(46, 0);
    QCOMPARE(w.list.Count(), 0);
    w.list.ListView1_KeyDown(46, 0);  // empty list
    w.list.ListView1_DblClick();
    QCOMPARE(w.list.Count(), 0);
}

void ListViewTest::doubleClickRemovalLeavesTheNextRowChosen()
{
    // With the real mouse and keyboard: whatever the list shows as chosen
    // after a removal is what the next Delete removes.
    Window w;
    ConnectFileList(w.ctx);
    fill(w.list, {"A", "B", "C", "D"});
    w.list.resize(400, 200);
    w.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.list));
    const auto chosen = [&] {
        QTreeWidgetItem* current = w.list.currentItem();
        return current && current->isSelected() && w.list.SelectedRow() == w.list.indexOfTopLevelItem(current) + 1
            ? current->text(0)
            : QStringLiteral("<none>");
    };

    const QPoint onB = w.list.visualItemRect(w.list.topLevelItem(1)).topLeft() + QPoint(8, 3);
    QTest::mouseDClick(w.list.viewport(), Qt::LeftButton, {}, onB);
    QCOMPARE(w.rows(), (QStringList{"A", "C", "D"}));
    QCOMPARE(chosen(), QStringLiteral("C"));
    QTest::keyClick(&w.list, Qt::Key_Delete);
    QCOMPARE(w.rows(), (QStringList{"A", "D"}));
    QCOMPARE(chosen(), QStringLiteral("D"));
    // After the last row, the row above it.
    QTest::keyClick(&w.list, Qt::Key_Delete);
    QCOMPARE(w.rows(), QStringList{"A"});
    QCOMPARE(chosen(), QStringLiteral("A"));
    QTest::keyClick(&w.list, Qt::Key_Delete);
    QCOMPARE(w.list.Count(), 0);
    QCOMPARE(w.list.SelectedRow(), 0);
}

void ListViewTest::removalAndClearingRefusedWhileBusy()
{
    Window w;
    ConnectFileList(w.ctx);
    fill(w.list, {"A", "B"});
    w.pointer = MousePointer::Hourglass;
    w.list.SelectRow(1);
    w.list.ListView1_DblClick();
    w.list.ListView1_KeyDown(46, 0);
    PushButton7_Click(w.ctx);
    QCOMPARE(w.rows(), (QStringList{"A", "B"}));
    QVERIFY(w.dialogs.messages.empty());

    // Adding is never blocked, and neither is the drag.
    w.list.Append("C");
    QCOMPARE(w.list.Count(), 3);

    w.pointer = MousePointer::Default;
    PushButton7_Click(w.ctx);
    QCOMPARE(w.list.Count(), 0);
}

void ListViewTest::clearListReportsAtLine100()
{
    Window w;
    w.ctx.mousePointer = []() -> int { throw VbError::make(ErrNo::InvalidProcedureCall); };
    w.list.Append("A");
    PushButton7_Click(w.ctx);
    // The failed busy test takes its true branch: reported, then nothing cleared.
    QCOMPARE(w.dialogs.reports().size(), 1);
    QVERIFY(w.dialogs.reports().first().contains("in Kestrane2021/08/31.Form1.PushButton7_Click at line 100\r\r"));
    QCOMPARE(w.list.Count(), 1);
}

void ListViewTest::hoverResetsWindowPointerUnlessBusy()
{
    Window w;
    ConnectFileList(w.ctx);
    w.list.Append("A");
    w.pointer = MousePointer::Custom;
    w.list.ListView1_MouseMove(QPoint(1, 1));
    QCOMPARE(w.pointer, int(MousePointer::Default));
    w.pointer = MousePointer::Hourglass;
    w.list.ListView1_MouseMove(QPoint(1, 1));
    QCOMPARE(w.pointer, int(MousePointer::Hourglass));
}

void ListViewTest::failingSeamDoesNotEndTheProgram()
{
    ListView1 list;
    fill(list, {"A", "B"});
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setWindowPointer([]() -> int { throw std::runtime_error("pointer unavailable"); }, [](int) {});
    list.setDropHandler([](const QStringList&) { throw std::runtime_error("drop failed"); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ListView1_.*"));
    QTest::mouseMove(list.viewport(), centreOf(list, 2));
    list.SelectRow(1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ListView1_.*"));
    QTest::keyClick(&list, Qt::Key_Delete);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/a.dwg")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ListView1_.*"));
    QApplication::sendEvent(list.viewport(), &drop);
    QCOMPARE(list.Count(), 2);
}

void ListViewTest::dragOverRefusesDataWithoutFiles()
{
    ListView1 list;
    QMimeData text;
    text.setText("C:\\a.dwg");
    QCOMPARE(list.ListView1_OLEDragOver(&text, 1), 0);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.dwg")});
    QCOMPARE(list.ListView1_OLEDragOver(&files, 5), 5);
    QCOMPARE(list.ListView1_OLEDragOver(nullptr, 5), 0);
}

void ListViewTest::dragPointerFromTheProgramFolder()
{
    // The pointer drawn by the build loads as a 32 x 32 image, clear at the
    // corners and solid in the middle, and the list shows it on a row click.
    const QString icon = QStringLiteral(LUMICADE_DRAG_ICON);
    const QImage image(icon);
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(16, 16)), 255);

    ListView1 list;
    list.Append("A");
    list.setProgramFolder(QFileInfo(icon).path());
    list.ListView1_ItemClick(1);
    QCOMPARE(list.MousePointer(), int(MousePointer::Custom));
    QCOMPARE(list.DragItem(), 1);

    // Without the image the list keeps its pointer and the drag still works.
    ListView1 bare;
    bare.Append("A");
    bare.setProgramFolder(QStringLiteral("/nonexistent"));
    bare.ListView1_ItemClick(1);
    QVERIFY(bare.MousePointer() != MousePointer::Custom);
    QCOMPARE(bare.DragItem(), 1);
}

void ListViewTest::columnDividerCanBeTakenEitherSide()
{
    ListView1 list;
    list.AddColumn("DWG File(s)", 300);
    fill(list, {"A"});
    list.resize(400, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QHeaderView* header = list.header();
    const int y = header->height() / 2;
    // Press at x, drag 40 pixels to the right, let go: the new column width.
    const auto dragFrom = [&](int x) {
        list.setColumnWidth(0, 300);
        QWidget* target = header->viewport();
        const auto send = [&](QEvent::Type type, int at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(at, y), target->mapToGlobal(QPointF(at, y)), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        };
        send(QEvent::MouseButtonPress, x, Qt::LeftButton);
        send(QEvent::MouseMove, x + 20, Qt::LeftButton);
        send(QEvent::MouseMove, x + 40, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, x + 40, Qt::NoButton);
        return list.columnWidth(0);
    };
    // On the line, and a few pixels either side of it; the column follows
    // the pointer without a jump.
    for (int x : {296, 299, 300, 302, 304})
        QCOMPARE(dragFrom(x), 340);
    // Well inside the column, or well past it, the divider is not taken.
    QCOMPARE(dragFrom(280), 300);
    QCOMPARE(dragFrom(320), 300);
}

QTEST_MAIN(ListViewTest)
#include "tst_listview.moc"
