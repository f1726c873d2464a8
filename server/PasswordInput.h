#pragma once

#include <QString>

#include <optional>

// A new password for an account, never taken from the command line, where
// every user of the machine could read it: on a terminal it is asked for
// twice without echo; otherwise it is the first line of standard input.
// Nothing and a reason when none was given or the two differ.
std::optional<QString> ReadNewPassword(const QString &userId, QString *error);
