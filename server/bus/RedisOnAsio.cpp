#include "server/bus/RedisOnAsio.h"

#include <hiredis/async.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <memory>

namespace {

// What the waits share with hiredis's hooks. The pending waits hold it, so
// it outlives the context when hiredis frees that from inside a handler.
struct Waits {
    Waits(asio::io_context &io, int fd) : socket(io, fd) {}
    redisAsyncContext *context = nullptr; // none once hiredis freed it
    asio::posix::stream_descriptor socket;
    bool reading = false;
    bool writing = false;
    bool readPending = false;
    bool writePending = false;
};

struct Hooks {
    std::shared_ptr<Waits> waits;
};

void ArmRead(const std::shared_ptr<Waits> &waits)
{
    if (waits->readPending || !waits->context || !waits->reading)
        return;
    waits->readPending = true;
    waits->socket.async_wait(asio::posix::stream_descriptor::wait_read, [waits](const std::error_code &error) {
        waits->readPending = false;
        if (error || !waits->context || !waits->reading)
            return;
        redisAsyncHandleRead(waits->context);
        ArmRead(waits);
    });
}

void ArmWrite(const std::shared_ptr<Waits> &waits)
{
    if (waits->writePending || !waits->context || !waits->writing)
        return;
    waits->writePending = true;
    waits->socket.async_wait(asio::posix::stream_descriptor::wait_write, [waits](const std::error_code &error) {
        waits->writePending = false;
        if (error || !waits->context || !waits->writing)
            return;
        redisAsyncHandleWrite(waits->context);
        ArmWrite(waits);
    });
}

std::shared_ptr<Waits> &WaitsOf(void *hooks)
{
    return static_cast<Hooks *>(hooks)->waits;
}

} // namespace

bool AttachToAsio(redisAsyncContext *context, asio::io_context &io)
{
    if (context->ev.data)
        return false;
    auto *hooks = new Hooks{std::make_shared<Waits>(io, context->c.fd)};
    hooks->waits->context = context;
    context->ev.data = hooks;
    context->ev.addRead = [](void *data) {
        WaitsOf(data)->reading = true;
        ArmRead(WaitsOf(data));
    };
    context->ev.delRead = [](void *data) { WaitsOf(data)->reading = false; };
    context->ev.addWrite = [](void *data) {
        WaitsOf(data)->writing = true;
        ArmWrite(WaitsOf(data));
    };
    context->ev.delWrite = [](void *data) { WaitsOf(data)->writing = false; };
    context->ev.cleanup = [](void *data) {
        auto *hooks = static_cast<Hooks *>(data);
        hooks->waits->context = nullptr;
        // hiredis closes the socket itself; the pending waits end as aborted.
        std::error_code ignored;
        hooks->waits->socket.cancel(ignored);
        hooks->waits->socket.release();
        delete hooks;
    };
    // The connection is made once the socket is writable; replies come as
    // it is readable.
    context->ev.addRead(hooks);
    context->ev.addWrite(hooks);
    return true;
}
