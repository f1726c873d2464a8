// Preloaded (LD_PRELOAD) into a server that has no setting for it, this sets
// TCP_NODELAY on every connection the server accepts, so a peer measured
// beside ours is not held back by Nagle's delay.

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

int WithNoDelay(int fd)
{
    if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

template <typename Function> Function Next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int accept(int fd, sockaddr *address, socklen_t *length)
{
    static const auto next = Next<int (*)(int, sockaddr *, socklen_t *)>("accept");
    return WithNoDelay(next(fd, address, length));
}

extern "C" int accept4(int fd, sockaddr *address, socklen_t *length, int flags)
{
    static const auto next = Next<int (*)(int, sockaddr *, socklen_t *, int)>("accept4");
    return WithNoDelay(next(fd, address, length, flags));
}
