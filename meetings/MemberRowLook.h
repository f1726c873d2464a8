#pragma once

#include <QByteArrayView>
#include <QRgb>
#include <QString>

// How a member's row in a room's list is drawn, decided from the typing state
// alone: the name black when idle ("F"), blue otherwise; the state column says
// "応答中..." only while composing ("N").
struct MemberRowLook {
    QRgb nameColour;
    QString stateText;
};

inline constexpr QRgb IdleNameColour = qRgb(0, 0, 0);
inline constexpr QRgb ActiveNameColour = qRgb(0, 0, 255);
inline constexpr QRgb ColumnLineColour = qRgb(0, 180, 210);

MemberRowLook LookOfMemberRow(QByteArrayView typingState);
