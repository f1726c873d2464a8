#pragma once

#include <QByteArray>

#include <optional>

// Passwords are kept only as salted slow hashes (Argon2id strings that carry
// their own salt and cost), so verifying reads the cost from the stored hash.
enum class HashCost {
    Interactive, // the cost every real account gets
    TestOnly,    // the cheapest the library allows: for tests that log on hundreds of users
};

// The hash string, or nothing when the library could not hash (out of memory).
std::optional<QByteArray> HashPassword(const QByteArray &password, HashCost cost);

// Slow by design: call it off the event loop for Interactive hashes.
bool VerifyPassword(const QByteArray &hash, const QByteArray &password);
