#pragma once
// The header of the file list. Its column divider can be taken hold of a
// few pixels either side of the line, as in the list views users know; the
// toolkit's own header answers only on a strip of two or three pixels inside
// the column, and not at all to the right of the last one.
#include <QHeaderView>

namespace lumicade {

class ColumnHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit ColumnHeader(QWidget* parent = nullptr);

    // How far from a divider, either side, the pointer still takes hold of it.
    static constexpr int kGripReach = 4;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The divider within reach of x (the right edge of a section), or -1.
    int dividerNear(int x) const;
    // The event moved sideways by dx, as the toolkit's header should see it.
    static QMouseEvent shifted(const QMouseEvent& event, int dx);

    int shift_ = 0;       // the sideways move applied to the press being dragged
    bool holding_ = false;
};

}  // namespace lumicade
