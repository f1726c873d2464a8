#pragma once

#include "server/Account.h"

#include <QString>

#include <array>
#include <variant>

// The rules every account obeys, whether imported from a file or added by an
// administrator: the limits of the client's logon dialog and of its list, and
// no control character, which would split a field on the wire.

// An account's fields as typed, in the import file's order: user id,
// corporate index, password, display name, mail address, department.
using AccountTexts = std::array<QString, 6>;
// How a refusal names each field ("field 4", "the display name").
using FieldLabels = std::array<QString, 6>;

extern const FieldLabels FieldNumbers;
extern const FieldLabels FieldNames;

// The account (without its hash) and its password in cp932, or why the texts
// cannot make one. The password is taken as it is; the others are trimmed.
std::variant<Account, QString> CheckAccountTexts(const AccountTexts &texts, const FieldLabels &labels,
                                                 QByteArray *password);
