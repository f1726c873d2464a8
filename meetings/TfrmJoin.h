#pragma once

#include <QWidget>

class FrameSender;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tells the user that a member invites them into a room and sends the answer
// as one MRJ: join, or refuse with a reason. It opens no room itself; after
// an acceptance the server opens the room with MRM. The close box sends
// nothing, leaving the invitation unanswered.
class TfrmJoin : public QWidget {
    Q_OBJECT
public:
    TfrmJoin(QWidget *owner, FrameSender &sender);

    int RoomId = 0;

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *rname;
    QLabel *Label3;
    QLineEdit *rowner;
    QLabel *rmsg;
    QGroupBox *GroupBox1;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QLabel *Label4;
    QLineEdit *ReasonTxt;
    QPushButton *Button1;

    void FormCreate();
    void RadioButton1Click();
    void RadioButton2Click();
    void ReasonTxtChange();
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    FrameSender &m_sender;
    bool m_centred = false;
};
