#pragma once

#include <QDialog>

class QTabWidget;

// The settings dialog: a page control with eight empty pages. It reads and
// writes nothing; only the logon dialog's hidden button opens it.
class Tsettingfrm : public QDialog {
    Q_OBJECT
public:
    explicit Tsettingfrm(QWidget *parent = nullptr);

    QTabWidget *PageControl1;
};
