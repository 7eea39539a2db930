#pragma once
#include <QString>

namespace passwords {

// The longest user name and password the login window's boxes take. A user whose stored name or
// password is longer could never log in, so no dialog stores one.
inline constexpr int kMaxUserNameLength = 20;
inline constexpr int kMaxPasswordLength = 10;

// Salted Argon2id hash in libsodium's string format.
QString hash(const QString& password);
// True when `stored` looks like a hash this program wrote.
bool isHash(const QString& stored);
// Checks a typed password against a stored value: a hash is verified, anything else (an older
// file's plain text, or an empty password) is compared exactly.
bool matches(const QString& stored, const QString& typed);
// Verifies `typed` against a fixed hash of the same cost as a stored one and throws the result
// away: a login for an unknown name then takes as long as one for a known name.
void verifyAgainstDummy(const QString& typed);
// Argon2 verifications run so far in this process (tests check that a login really ran one).
int verificationCount();

}  // namespace passwords
