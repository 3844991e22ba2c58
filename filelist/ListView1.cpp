#include "ListView1.h"

#include "ColumnHeader.h"
#include "FileListContext.h"

#include <QCursor>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QUrl>

#include <algorithm>
#include <exception>

namespace lumicade {

namespace {
constexpr int kKeyDelete = 46;
}

ListView1::ListView1(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setMouseTracking(true);
    setColumnCount(0);
    setHeader(new ColumnHeader(this));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ListView1::AddColumn(const QString& caption, int widthPixels)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, caption);
    setColumnWidth(column, widthPixels);
}

void ListView1::Append(const QString& path)
{
    if (columnCount() == 0)
        setColumnCount(1);
    auto* item = new QTreeWidgetItem(QStringList{path});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    addTopLevelItem(item);
}

int ListView1::Count() const { return topLevelItemCount(); }

QString ListView1::RowText(int p) const
{
    const QTreeWidgetItem* item = topLevelItem(p - 1);
    return item ? item->text(0) : QString();
}

void ListView1::SetRowText(int p, const QString& text)
{
    if (QTreeWidgetItem* item = topLevelItem(p - 1))
        item->setText(0, text);
}

void ListView1::Remove(int p)
{
    QTreeWidgetItem* item = topLevelItem(p - 1);
    if (!item)
        return;
    forget(item);
    delete takeTopLevelItem(p - 1);
}

void ListView1::Clear()
{
    dragItem_ = nullptr;
    hitItem_ = nullptr;
    clear();
}

void ListView1::forget(QTreeWidgetItem* item)
{
    // A removed row is no longer something a drag can refer to.
    if (dragItem_ == item)
        dragItem_ = nullptr;
    if (hitItem_ == item)
        hitItem_ = nullptr;
}

int ListView1::positionOf(const QTreeWidgetItem* item) const
{
    return item ? indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) + 1 : 0;
}

int ListView1::SelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? 0 : positionOf(selected.first());
}

void ListView1::SelectRow(int p)
{
    if (QTreeWidgetItem* item = topLevelItem(p - 1)) {
        setCurrentItem(item);
        item->setSelected(true);
    }
}

int ListView1::RowAt(const QPoint& viewportPos) const { return positionOf(itemAt(viewportPos)); }

void ListView1::EnsureVisible(int p)
{
    if (QTreeWidgetItem* item = topLevelItem(p - 1))
        scrollToItem(item, QAbstractItemView::EnsureVisible);
}

int ListView1::DragItem() const { return positionOf(dragItem_); }
int ListView1::HitItem() const { return positionOf(hitItem_); }

void ListView1::setWindowPointer(std::function<int()> get, std::function<void(int)> set)
{
    windowPointer_ = std::move(get);
    setWindowPointer_ = std::move(set);
}

void ListView1::setCursorPosition(std::function<QPoint()> screenPos) { cursorPos_ = std::move(screenPos); }

bool ListView1::busy() const { return windowPointer_ && windowPointer_() == MousePointer::Hourglass; }

// The list's own handlers have no error report: whatever goes wrong in one
// of them is logged and the program, and the list, carry on.
template <class F>
void ListView1::guarded(const char* what, F&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        qWarning("ListView1_%s: %s", what, e.what());
    } catch (...) {
        qWarning("ListView1_%s failed", what);
    }
}

void ListView1::ListView1_MouseDown() { isDragging_ = true; }

void ListView1::ListView1_ItemClick(int p)
{
    // The drag image; without it the list keeps the arrow.
    const QPixmap image(programFolder_ + kSeparator + QStringLiteral("drag.ico"));
    if (!image.isNull()) {
        setCursor(QCursor(image));
        listPointer_ = MousePointer::Custom;
    }
    setDragEnabled(false);
    if (p >= 1 && p <= Count())
        SelectRow(p);
    const int selected = SelectedRow();
    dragItem_ = selected ? topLevelItem(selected - 1) : nullptr;
}

void ListView1::ListView1_MouseMove(const QPoint& viewportPos)
{
    if (!busy() && setWindowPointer_)
        setWindowPointer_(MousePointer::Default);
    if (!isDragging_)
        return;
    hitItem_ = itemAt(viewportPos);
    if (dragItem_ && hitItem_ && dragItem_->text(0) != hitItem_->text(0)) {
        const QString dragged = dragItem_->text(0);
        dragItem_->setText(0, hitItem_->text(0));
        hitItem_->setText(0, dragged);
        const int p = positionOf(hitItem_);
        SelectRow(p);
        dragItem_ = hitItem_;

        const int y = (cursorPos_ ? cursorPos_() : QCursor::pos()).y();
        if (y < kScrollUpBelow) {
            if (p >= 2)
                EnsureVisible(p - 1);
        } else if (y > kScrollDownAbove) {
            if (p + 1 <= Count())
                EnsureVisible(p + 1);
        }
    }
    hitItem_ = nullptr;
}

void ListView1::ListView1_MouseUp()
{
    isDragging_ = false;
    unsetCursor();
    listPointer_ = MousePointer::Arrow;
}

void ListView1::removeSelected()
{
    if (busy() || Count() == 0)
        return;
    const int selected = SelectedRow();
    if (selected == 0)
        return;
    Remove(selected);
    // The rows below move up, and the row that took the removed one's place
    // (or, after the last row, the new last row) is selected, as in any list
    // view: the keyboard's current row and the selection stay one row, so a
    // second Delete removes what the list shows as chosen.
    if (Count() > 0)
        SelectRow(std::min(selected, Count()));
    else
        clearSelection();
}

void ListView1::ListView1_DblClick() { removeSelected(); }

void ListView1::ListView1_KeyDown(int keyCode, int /*shift*/)
{
    if (keyCode == kKeyDelete)
        removeSelected();
}

int ListView1::ListView1_OLEDragOver(const QMimeData* data, int effect) const
{
    return data && data->hasUrls() ? effect : 0;
}

void ListView1::ListView1_OLEDragDrop(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return;
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    if (dropHandler_ && !paths.isEmpty())
        dropHandler_(paths);
}

// --- Qt events onto the handlers ---

void ListView1::mousePressEvent(QMouseEvent* event)
{
    guarded("MouseDown", [&] { ListView1_MouseDown(); });
    QTreeWidget::mousePressEvent(event);
    // The row click belongs to the press, before any move of the same press.
    const int p = RowAt(event->position().toPoint());
    if (p)
        guarded("ItemClick", [&] { ListView1_ItemClick(p); });
}

void ListView1::mouseMoveEvent(QMouseEvent* event)
{
    guarded("MouseMove", [&] { ListView1_MouseMove(event->position().toPoint()); });
    // The swap-drag is the list's only reaction to a pressed move; the
    // view's own rubber-band selection would fight it.
    if (!isDragging_)
        QTreeWidget::mouseMoveEvent(event);
}

void ListView1::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    guarded("MouseUp", [&] { ListView1_MouseUp(); });
}

void ListView1::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    guarded("DblClick", [&] { ListView1_DblClick(); });
}

void ListView1::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        guarded("KeyDown", [&] { ListView1_KeyDown(kKeyDelete, static_cast<int>(event->modifiers())); });
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// Entering answers as the first move over the list does.
void ListView1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void ListView1::dragMoveEvent(QDragMoveEvent* event)
{
    if (ListView1_OLEDragOver(event->mimeData(), 1))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ListView1::dropEvent(QDropEvent* event)
{
    guarded("OLEDragDrop", [&] { ListView1_OLEDragDrop(event->mimeData()); });
    event->acceptProposedAction();
}

}  // namespace lumicade
