#pragma once

#include <QString>

#include <functional>

// Where the server's one-line log entries go. The program writes them to
// standard error; tests may keep them or drop them.
using LogSink = std::function<void(const QString &line)>;

// Writes the line to standard error behind the local date and time.
void LogToStderr(const QString &line);
