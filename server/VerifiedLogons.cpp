#include "server/VerifiedLogons.h"

#include <sodium.h>

#include <cstring>
#include <new>

namespace {

// Each part goes in with its length, so that no two different triples
// (id "ab" with password "c", id "a" with password "bc") hash alike.
void Feed(crypto_generichash_state &state, const QByteArray &part)
{
    const quint64 size = quint64(part.size());
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(size >> (8 * i));
    crypto_generichash_update(&state, length, sizeof length);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(part.constData()), size);
}

} // namespace

VerifiedLogons::VerifiedLogons(std::size_t capacity) : m_capacity(capacity)
{
    if (sodium_init() < 0)
        throw std::bad_alloc();
    m_key = static_cast<unsigned char *>(sodium_malloc(crypto_generichash_KEYBYTES));
    if (!m_key)
        throw std::bad_alloc();
    randombytes_buf(m_key, crypto_generichash_KEYBYTES);
}

VerifiedLogons::~VerifiedLogons()
{
    sodium_free(m_key); // wipes it
}

std::size_t VerifiedLogons::DigestHash::operator()(const Digest &digest) const
{
    std::size_t value;
    std::memcpy(&value, digest.data(), sizeof value); // the digest is already uniform
    return value;
}

VerifiedLogons::Digest VerifiedLogons::digest(const QByteArray &id, const QByteArray &storedHash,
                                              const QByteArray &password) const
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, m_key, crypto_generichash_KEYBYTES, sizeof(Digest));
    Feed(state, id);
    Feed(state, storedHash);
    Feed(state, password);
    Digest out;
    crypto_generichash_final(&state, out.data(), out.size());
    return out;
}

bool VerifiedLogons::contains(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password)
{
    const auto it = m_byDigest.find(digest(id, storedHash, password));
    if (it == m_byDigest.end())
        return false;
    m_recent.splice(m_recent.begin(), m_recent, it->second);
    return true;
}

void VerifiedLogons::remember(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password)
{
    if (m_capacity == 0 || contains(id, storedHash, password))
        return;
    if (m_byDigest.size() >= m_capacity) {
        m_byDigest.erase(m_recent.back());
        m_recent.pop_back();
    }
    m_recent.push_front(digest(id, storedHash, password));
    m_byDigest.emplace(m_recent.front(), m_recent.begin());
}
