#include "inspection/FileDigest.h"

#include "core/RawPath.h"

#include <QFile>

#include <openssl/evp.h>

namespace Tessavo {

namespace {

constexpr qint64 hashBlockBytes = 1 << 20;

struct DigestContext {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~DigestContext() { EVP_MD_CTX_free(context); }
};

} // namespace

FileDigest sha256OfFile(const QString& path, const std::atomic<bool>* cancel)
{
    return sha256OfFile(QFile::encodeName(path), cancel);
}

FileDigest sha256OfFile(const QByteArray& rawPath, const std::atomic<bool>* cancel)
{
    FileDigest result;
    QFile file;
    if (const Status opened = openRawForReading(file, rawPath); !opened.ok) {
        result.error = QStringLiteral("cannot open file: %1").arg(opened.error);
        return result;
    }
    DigestContext digest;
    if (!digest.context || EVP_DigestInit_ex(digest.context, EVP_sha256(), nullptr) != 1) {
        result.error = QStringLiteral("cannot read file: %1").arg(u"SHA-256 is not available");
        return result;
    }
    QByteArray block(hashBlockBytes, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0) {
            result.error = QStringLiteral("cannot read file: %1").arg(file.errorString());
            return result;
        }
        if (got == 0)
            break;
        if (EVP_DigestUpdate(digest.context, block.constData(), size_t(got)) != 1) {
            result.error = QStringLiteral("cannot read file: %1").arg(u"SHA-256 failed");
            return result;
        }
    }
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(digest.context, value, &length) != 1 || length != 32) {
        result.error = QStringLiteral("cannot read file: %1").arg(u"SHA-256 failed");
        return result;
    }
    result.sha256 = QByteArray(reinterpret_cast<const char*>(value), int(length)).toHex();
    result.ok = true;
    return result;
}

} // namespace Tessavo
