#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The version dialog, created hidden at start-up and shown modally (exec())
// from the main window's help menu. "OK", Enter or the close box close it.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    void setVisible(bool visible) override;

private:
    void CentreOnScreen();

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QPushButton *OKButton;
};
