#pragma once
// ListView1: the file list of the main window. One column, one text per row
// (the full path of a drawing), rows numbered from 1. Besides the operations
// the other commands use (append, count, row text, remove, clear) it carries
// its own editing: swap-dragging a row, removing the selected row by
// double-click or Delete, and accepting files and folders dropped from the
// file manager.
#include "PathHelpers.h"

#include <QTreeWidget>
#include <functional>

class QMimeData;

namespace lumicade {

class ListView1 : public QTreeWidget, public RowList {
    Q_OBJECT
public:
    explicit ListView1(QWidget* parent = nullptr);

    // The single report column ("DWG File(s)"), created at start-up.
    void AddColumn(const QString& caption, int widthPixels);

    // ListItems.Add / Count / Item(p).Text / Remove p / Clear.
    void Append(const QString& path);
    int Count() const override;
    QString RowText(int p) const override;
    void SetRowText(int p, const QString& text);
    void Remove(int p);
    void Clear();

    int SelectedRow() const;               // 0 when none
    void SelectRow(int p);
    int RowAt(const QPoint& viewportPos) const;  // 0 when none
    void EnsureVisible(int p);

    // --- the list's own handlers (also driven directly by tests) ---
    void ListView1_MouseDown();
    void ListView1_ItemClick(int p);
    void ListView1_MouseMove(const QPoint& viewportPos);
    void ListView1_MouseUp();
    void ListView1_DblClick();
    void ListView1_KeyDown(int keyCode, int shift);
    // Drag over: returns the effect to hand back (0 refuses the drop).
    int ListView1_OLEDragOver(const QMimeData* data, int effect) const;
    void ListView1_OLEDragDrop(const QMimeData* data);

    // Drag state. DragItem and HitItem are row positions (0 = none); they
    // follow their row object, so a removed row reads as none.
    bool IsDragging() const { return isDragging_; }
    int DragItem() const;
    int HitItem() const;

    // The list's own pointer: 1 arrow, 99 the drag image.
    int MousePointer() const { return listPointer_; }

    // --- seams the window connects ---
    // Form1.MousePointer (11 = busy).
    void setWindowPointer(std::function<int()> get, std::function<void(int)> set);
    // The pointer's position on the screen (default: QCursor::pos()).
    void setCursorPosition(std::function<QPoint()> screenPos);
    // The program's folder, where drag.ico lives.
    void setProgramFolder(const QString& folder) { programFolder_ = folder; }
    // What a drop does with the dropped paths (wired to the drop command).
    void setDropHandler(std::function<void(const QStringList&)> handler) { dropHandler_ = std::move(handler); }

    // The screen heights at which a swap scrolls the list up or down.
    static constexpr int kScrollUpBelow = 305;
    static constexpr int kScrollDownAbove = 364;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool busy() const;
    void removeSelected();
    void forget(QTreeWidgetItem* item);
    int positionOf(const QTreeWidgetItem* item) const;
    template <class F> void guarded(const char* what, F&& body);

    bool isDragging_ = false;
    QTreeWidgetItem* dragItem_ = nullptr;
    QTreeWidgetItem* hitItem_ = nullptr;
    int listPointer_ = 0;
    QString programFolder_;
    std::function<int()> windowPointer_;
    std::function<void(int)> setWindowPointer_;
    std::function<QPoint()> cursorPos_;
    std::function<void(const QStringList&)> dropHandler_;
};

}  // namespace lumicade
