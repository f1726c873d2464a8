#include "server/PasswordHash.h"

#include <sodium.h>

namespace {

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

std::optional<QByteArray> HashPassword(const QByteArray &password, HashCost cost)
{
    if (!SodiumReady())
        return std::nullopt;
    const bool cheap = cost == HashCost::TestOnly;
    const unsigned long long ops = cheap ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const size_t mem = cheap ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.constData(), static_cast<unsigned long long>(password.size()), ops, mem) != 0)
        return std::nullopt;
    return QByteArray(out);
}

bool VerifyPassword(const QByteArray &hash, const QByteArray &password)
{
    if (!SodiumReady() || hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(hash.constData(), password.constData(),
                                    static_cast<unsigned long long>(password.size())) == 0;
}
