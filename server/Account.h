#pragma once

#include <QByteArray>

// Every text here is code page 932, as it travels on the wire.

struct Account {
    QByteArray id;
    int corpIndex = 0;
    QByteArray passwordHash;
    QByteArray displayName;
    QByteArray mail;
    QByteArray department;
    bool disabled = false; // kept in the company list, but may not log on
    qint64 order = 0;      // later accounts have greater numbers, never reused
};

// One node of a member list as its owner uploaded it.
struct ListNode {
    QByteArray kind; // "G", "UG" or "U"
    QByteArray id;
    int depth = 0;
    QByteArray displayName;
    // A member's place in the directory that brought the list up to date, so
    // that sending the list need not look every member up again; a hint,
    // checked against the id. A member who joined at that update has no id or
    // name here: both are its account's, at this place in that directory.
    qsizetype directoryIndex = -1;
};

struct AbsenceMessage {
    qint64 rowId = 0;
    QByteArray received; // "yyyy/MM/dd HH:mm:ss", server's local time
    QByteArray senderName;
    QByteArray text;
};
