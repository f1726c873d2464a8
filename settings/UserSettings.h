#pragma once

#include <QByteArray>

// The few local settings, read from user.ini when the main window is created
// and shared by the main window, the session and the logon dialog. Texts are
// cp932 bytes as stored in the file.
struct TUserSettings {
    QByteArray ServiceType;        // only "FREE", in any case, has an effect
    QByteArray UserId;
    int CorpIndex = 0;
    QByteArray Password;           // plain text, as the service requires
    bool RememberPassword = false;
    int FormLeft = 0;
    int FormTop = 0;
    int FormWidth = 230;
    int FormHeight = 510;
    // The IM server; [SYSTEM] HOST and PORT may name another.
    QByteArray Host = "127.0.0.1";
    quint16 Port = 9002;
    // [SYSTEM] TLS=1: the connection is encrypted, and the server's certificate
    // verified against the system's trust store, or only against the PEM file
    // [SYSTEM] CAFILE names.
    bool Tls = false;
    QByteArray CaFile;

    bool isFreeService() const { return ServiceType.toUpper() == "FREE"; }
};

extern TUserSettings UserSettings;
