#include "server/PasswordInput.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// One line of standard input without its line end; nothing at its end.
std::optional<std::string> ReadLine()
{
    std::string line;
    int c = 0;
    while ((c = std::getc(stdin)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Asks on the terminal with echo off, restoring it whatever happens.
std::optional<std::string> AskHidden(const QString &prompt)
{
    std::fprintf(stderr, "%s", qPrintable(prompt));
    std::fflush(stderr);
    termios saved = {};
    const bool canHide = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (canHide) {
        termios hidden = saved;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    auto line = ReadLine();
    if (canHide)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    return line;
}

} // namespace

std::optional<QString> ReadNewPassword(const QString &userId, QString *error)
{
    if (!::isatty(STDIN_FILENO)) {
        const auto line = ReadLine();
        if (!line) {
            *error = QStringLiteral("no password on standard input");
            return std::nullopt;
        }
        return QString::fromStdString(*line);
    }
    const auto first = AskHidden(QStringLiteral("New password for %1: ").arg(userId));
    if (!first) {
        *error = QStringLiteral("no password given");
        return std::nullopt;
    }
    const auto second = AskHidden(QStringLiteral("Repeat the password: "));
    if (second != first) {
        *error = QStringLiteral("the two passwords differ");
        return std::nullopt;
    }
    return QString::fromStdString(*first);
}
