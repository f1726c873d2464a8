#include "shell/CommandLine.h"

#include "shell/ClientVersion.h"

#include <cstdio>
#include <cstring>

std::optional<int> AnswerCommandLine(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantrel-im %d.%d.%d\n", ClientVersion.major, ClientVersion.minor, ClientVersion.release);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: vantrel-im [options]\n"
                        "VantrelIM, the company instant messaging client.\n"
                        "It keeps its settings in user.ini in the current folder.\n\n"
                        "Options:\n"
                        "  --user-config  Keep user.ini in $XDG_CONFIG_HOME/vantrel-im instead.\n"
                        "  --version      Print the version and exit.\n"
                        "  --help         Print these options and exit.\n"
                        "Qt's own options, such as -platform, are passed on to Qt.\n");
            return 0;
        }
    }
    return std::nullopt;
}

bool WantsConfigFolder(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--user-config") == 0)
            return true;
    return false;
}
