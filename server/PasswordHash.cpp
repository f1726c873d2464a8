#include "server/PasswordHash.h"

#include <sodium.h>

namespace {

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The cost of every real account's hash: Argon2id, 2 passes over 19 MiB
// (one lane, as the library always uses). That is the smallest cost the
// usual guidance accepts for Argon2id, and memory is what makes guessing
// dear on graphics cards. It is not more because a restart brings every user
// back at once: on two cores a check costs about 16 ms of CPU here, so 500
// users are back in about 4 s and the 4,096 connections the server takes in
// about 33 s, and the workers hold 19 MiB each while they hash. The former
// cost, 2 passes over 64 MiB, took 70 ms a check and four times the time to
// bring a company back. Stored hashes carry their cost, so older ones are
// checked at theirs until their passwords are set again.
constexpr unsigned long long AccountOps = 2;
constexpr size_t AccountMemBytes = size_t(19) << 20;

} // namespace

std::optional<QByteArray> HashPassword(const QByteArray &password, HashCost cost)
{
    if (!SodiumReady())
        return std::nullopt;
    const bool cheap = cost == HashCost::TestOnly;
    const unsigned long long ops = cheap ? crypto_pwhash_OPSLIMIT_MIN : AccountOps;
    const size_t mem = cheap ? crypto_pwhash_MEMLIMIT_MIN : AccountMemBytes;
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
