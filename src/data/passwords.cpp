#include "data/passwords.h"

#include "data/errors.h"

#include <sodium.h>

namespace passwords {

static void initSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw AppError(QStringLiteral("密码库初始化失败。"));
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
    initSodium();
    const QByteArray h = stored.toLatin1();
    const QByteArray p = typed.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), p.constData(), static_cast<unsigned long long>(p.size())) == 0;
}

}  // namespace passwords
