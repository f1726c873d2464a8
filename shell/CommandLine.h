#pragma once

#include <optional>

// The switches that answer on the terminal and end the program, read before
// the application object exists so that they work without a display:
// --version and --help. Returns the exit status when one was given, nothing
// when the client should start.
std::optional<int> AnswerCommandLine(int argc, char **argv);

// Whether --user-config asks for user.ini in the user's configuration folder
// rather than the current one (the desktop entry asks for it).
bool WantsConfigFolder(int argc, char **argv);
