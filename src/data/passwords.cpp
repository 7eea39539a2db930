#include "data/passwords.h"

#include "data/errors.h"

#include <sodium.h>

namespace passwords {

static void initSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw AppError(QStringLiteral("密码库初始化失败。"));
}

static int g_verifications = 0;

// A hash made once with the parameters hash() uses (interactive limits), of a text no user types.
static const char kDummyHash[] =
    "$argon2id$v=19$m=65536,t=2,p=1$rdID/VJlR+ie5/JFRJGRTA$6yYNwBeBoiurbvDnbiCUWuLCEoAuFo5Vc5/awHAlpeY";

static bool verify(const QByteArray& hashed, const QString& typed)
{
    initSodium();
    const QByteArray p = typed.toUtf8();
    ++g_verifications;
    return crypto_pwhash_str_verify(hashed.constData(), p.constData(), static_cast<unsigned long long>(p.size())) == 0;
}

QString hash(const QString& password)
{
    initSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw AppError(QStringLiteral("内存不足，无法计算密码散列。"));
    }
    return QString::fromLatin1(out);
}

bool isHash(const QString& stored)
{
    return stored.startsWith(QLatin1String("$argon2id$")) || stored.startsWith(QLatin1String("$argon2i$"));
}

bool matches(const QString& stored, const QString& typed)
{
    if (!isHash(stored)) return stored == typed;
    return verify(stored.toLatin1(), typed);
}

void verifyAgainstDummy(const QString& typed)
{
    verify(QByteArray(kDummyHash), typed);
}

int verificationCount()
{
    return g_verifications;
}

}  // namespace passwords
