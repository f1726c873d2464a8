#include "platform/SocketErrors.h"

#include <utility>

int WinsockErrorCode(QAbstractSocket::SocketError error)
{
    using E = QAbstractSocket::SocketError;
    static constexpr std::pair<E, int> table[] = {
        {E::ConnectionRefusedError, socketcode::ConnectionRefused},
        {E::RemoteHostClosedError, socketcode::ConnectionReset},
        {E::HostNotFoundError, socketcode::HostNotFound},
        {E::SocketAccessError, 10013},              // permission denied
        {E::SocketResourceError, 10055},            // no buffer space
        {E::SocketTimeoutError, socketcode::TimedOut},
        {E::DatagramTooLargeError, 10040},          // message too long
        {E::NetworkError, 10050},                   // network is down
        {E::AddressInUseError, 10048},
        {E::SocketAddressNotAvailableError, 10049},
        {E::UnsupportedSocketOperationError, 10045}, // operation not supported
        {E::UnfinishedSocketOperationError, 10036},  // operation in progress
        {E::TemporaryError, 10035},                 // would block
    };
    for (const auto &[qtError, code] : table)
        if (qtError == error)
            return code;
    return 10004; // interrupted: an error Qt could not name
}
