#pragma once

#include <QList>
#include <QWidget>

class QMenu;
class QMenuBar;
class QVBoxLayout;

// A menu bar that wraps onto further rows when its window is too narrow for
// every menu, instead of hiding the last ones behind an overflow arrow. Each
// row is an ordinary menu bar, so mnemonics and the menus' own keyboard
// handling stay as they are. Set as the window's menu widget.
class WrappingMenuBar : public QWidget {
    Q_OBJECT
public:
    explicit WrappingMenuBar(QWidget *parent = nullptr);

    // Adds a menu after the others; the bar does not own it.
    QMenu *addMenu(QMenu *menu);
    // The rows in use, top first.
    QList<QMenuBar *> rows() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    QMenuBar *row(int index);
    void wrap(int width);

    QVBoxLayout *m_layout;
    QList<QMenuBar *> m_rows;
    QList<QMenu *> m_menus;
    int m_wrappedAt = -1;
};
