// vantrel-floor [--listen 127.0.0.1] [--port 0]: the floor relay, until killed.

#include "FloorRelay.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    std::string address = "127.0.0.1";
    int port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--listen") == 0) {
            address = argv[i + 1];
        } else if (std::strcmp(argv[i], "--port") == 0) {
            port = std::atoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: vantrel-floor [--listen ADDR] [--port N]\n");
            return 2;
        }
    }
    FloorRelay relay;
    std::string error;
    if (!relay.listen(address, static_cast<std::uint16_t>(port), &error)) {
        std::fprintf(stderr, "vantrel-floor: cannot listen: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "listening on %s:%u\n", address.c_str(), relay.port());
    relay.run();
    return 0;
}
