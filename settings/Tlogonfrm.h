#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The logon dialog. It talks to no server: it hands what was entered to the
// settings and asks the session to connect. Filled once, when the program
// starts; later showings present what was last entered.
class Tlogonfrm : public QDialog {
    Q_OBJECT
public:
    explicit Tlogonfrm(QWidget *parent = nullptr);

    // The corporate domains offered when the service type is "FREE"; the
    // server receives the index.
    static const QStringList CorporateDomains;

    QLabel *Image1;
    QLabel *Label4;
    QLabel *Label1;
    QLineEdit *inpuid;
    QComboBox *CorpCmb;
    QLabel *Label2;
    QLineEdit *inppwd;
    QLabel *Label5;
    QLineEdit *inpserver; // host and port, as [SYSTEM] HOST and PORT hold them
    QCheckBox *inppwdmemory;
    QPushButton *Button2;
    QPushButton *Button1;

    void FormCreate();
    void Button1Click();
    void Button2Click();
    void inpuidChange();
    void inppwdChange();

    // The settings dialog that the hidden Button2 would open.
    void setSettingsDialog(QWidget *dialog) { settingfrm = dialog; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *settingfrm = nullptr;
};
