#include "server/ByteStream.h"

#include <memory>

// Made at the first read. A thread_local array would be zeroed into every
// thread the process starts (the password checks, the store writer), none of
// which reads a socket: 64 KiB resident each.
std::span<char> SharedReadBuffer()
{
    constexpr std::size_t Bytes = 64 * 1024;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(Bytes);
    return {buffer.get(), Bytes};
}
