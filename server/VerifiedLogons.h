#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <list>
#include <unordered_map>

// Logons whose password check succeeded, remembered for the life of the
// process so that a client reconnecting after a network blip, or logging on
// again, costs no slow hash. Only a keyed digest of (id, stored hash,
// password) is kept, under a random key made at start and never written
// anywhere: a new password changes the stored hash, so an old password stops
// matching by itself. Whether the account may log on at all (disabled,
// deleted) is the caller's to check first, every time.
class VerifiedLogons {
public:
    // Holds at most `capacity` logons; the least recently used goes first.
    explicit VerifiedLogons(std::size_t capacity);
    ~VerifiedLogons();
    VerifiedLogons(const VerifiedLogons &) = delete;
    VerifiedLogons &operator=(const VerifiedLogons &) = delete;

    bool contains(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password);
    void remember(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password);
    std::size_t size() const { return m_byDigest.size(); }

private:
    using Digest = std::array<unsigned char, 32>;
    struct DigestHash {
        std::size_t operator()(const Digest &digest) const;
    };
    Digest digest(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password) const;

    std::size_t m_capacity;
    unsigned char *m_key; // in memory locked away from swap where the system allows
    std::list<Digest> m_recent; // most recently used first
    std::unordered_map<Digest, std::list<Digest>::iterator, DigestHash> m_byDigest;
};
