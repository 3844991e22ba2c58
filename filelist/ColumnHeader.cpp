#include "ColumnHeader.h"

#include <QMouseEvent>
#include <cstdlib>

namespace lumicade {

ColumnHeader::ColumnHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setMouseTracking(true);
}

int ColumnHeader::dividerNear(int x) const
{
    int nearest = -1;
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical) || sectionResizeMode(logical) != QHeaderView::Interactive)
            continue;
        const int edge = sectionViewportPosition(logical) + sectionSize(logical);
        if (std::abs(x - edge) <= kGripReach && (nearest < 0 || std::abs(x - edge) < std::abs(x - nearest)))
            nearest = edge;
    }
    return nearest;
}

QMouseEvent ColumnHeader::shifted(const QMouseEvent& event, int dx)
{
    const QPointF by(dx, 0);
    return QMouseEvent(event.type(), event.position() + by, event.scenePosition() + by, event.globalPosition() + by,
                       event.button(), event.buttons(), event.modifiers(), event.pointingDevice());
}

// Each event near a divider reaches the toolkit's header as if it were one
// pixel inside the section's right edge, where that header itself finds the
// divider. A drag keeps the shift of its press, so the column follows the
// pointer without a jump.
void ColumnHeader::mousePressEvent(QMouseEvent* event)
{
    const int x = qRound(event->position().x());
    const int edge = dividerNear(x);
    shift_ = edge >= 0 ? edge - 1 - x : 0;
    holding_ = true;
    QMouseEvent moved = shifted(*event, shift_);
    QHeaderView::mousePressEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

void ColumnHeader::mouseMoveEvent(QMouseEvent* event)
{
    int dx = shift_;
    if (!holding_) {
        // Hovering: the pointer shows the divider's shape wherever it can be taken.
        const int x = qRound(event->position().x());
        const int edge = dividerNear(x);
        dx = edge >= 0 ? edge - 1 - x : 0;
    }
    QMouseEvent moved = shifted(*event, dx);
    QHeaderView::mouseMoveEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

void ColumnHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QMouseEvent moved = shifted(*event, shift_);
    holding_ = false;
    shift_ = 0;
    QHeaderView::mouseReleaseEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

void ColumnHeader::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double-click on the divider fits the column to its widest path.
    const int x = qRound(event->position().x());
    const int edge = dividerNear(x);
    QMouseEvent moved = shifted(*event, edge >= 0 ? edge - 1 - x : 0);
    QHeaderView::mouseDoubleClickEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

}  // namespace lumicade
