#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QVector>

class QWidget;

// Children placed at their design rectangles inside a container designed at a
// given size, each anchored to some of the container's sides: a side it is
// anchored to keeps its distance when the container is resized, so a control
// anchored left and right widens with it and one anchored right and bottom
// moves with that corner.
class Anchors : public QObject {
public:
    enum Side { Left = 1, Top = 2, Right = 4, Bottom = 8, All = Left | Top | Right | Bottom };

    Anchors(QWidget *container, QSize designSize);

    void place(QWidget *child, QRect design, int sides);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Placement {
        QWidget *child;
        QRect design;
        int sides;
    };
    void arrange();

    QWidget *m_container;
    QSize m_designSize;
    QVector<Placement> m_placements;
};
