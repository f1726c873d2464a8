#pragma once

#include <QWidget>

class AbsenceMessageQueue;
class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;

// Shows the absence messages received while the user was offline, one at a
// time: every second, while hidden, it takes the oldest waiting message and
// shows itself; "確認" (or the close box) hides it for the next one.
class TAmsFrm : public QWidget {
    Q_OBJECT
public:
    explicit TAmsFrm(AbsenceMessageQueue &queue, QWidget *parent = nullptr);

    QLabel *Label4;
    QLabel *fromLabel;
    QLabel *gettimeLabel;
    QLabel *Label3;
    QTextEdit *getmsg;
    QPushButton *Button1;
    QTimer *Timer1;

    void Timer1Timer();
    void Button1Click();

private:
    AbsenceMessageQueue &m_queue;
};
