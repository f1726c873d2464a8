#pragma once

struct redisAsyncContext;

namespace asio {
class io_context;
}

// Lets the server's Asio loop drive a hiredis asynchronous connection:
// hiredis says when it wants to read or write, and a wait on its socket calls
// it back. hiredis keeps owning the socket; freeing the context detaches it.
// False when the context already has a loop.
bool AttachToAsio(redisAsyncContext *context, asio::io_context &io);
