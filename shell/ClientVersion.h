#pragma once

#include <QString>

struct VersionNumbers {
    int major;
    int minor;
    int release;
};

// The client's version: sent in the logon request and shown in the about box.
inline constexpr VersionNumbers ClientVersion{1, 0, 1};

// "Ver." and the three numbers in decimal, dot-separated: "Ver.1.0.1".
QString VersionText(const VersionNumbers &version);
