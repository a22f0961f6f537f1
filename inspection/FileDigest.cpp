#include "inspection/FileDigest.h"

#include "inspection/Sha256.h"

#include "core/RawPath.h"

#include <QFile>

namespace Tessavo {

namespace {

constexpr qint64 hashBlockBytes = 1 << 20;

} // namespace

FileDigest sha256OfFile(const QString& path, const std::atomic<bool>* cancel)
{
    return sha256OfFile(QFile::encodeName(path), cancel);
}

FileDigest sha256OfFile(const QByteArray& rawPath, const std::atomic<bool>* cancel)
{
    FileDigest result;
    QFile file;
    if (const Status opened = openRegularForReading(file, rawPath, Links::Follow); !opened.ok) {
        result.error = QStringLiteral("cannot open file: %1").arg(opened.error);
        return result;
    }
    return sha256OfFile(file, cancel);
}

FileDigest sha256OfFile(QFile& file, const std::atomic<bool>* cancel)
{
    FileDigest result;
    Sha256 digest;
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
        result.size += got;
        digest.add(QByteArrayView(block.constData(), got));
    }
    result.sha256 = digest.hex();
    if (result.sha256.isEmpty()) {
        result.error = QStringLiteral("cannot read file: %1").arg(u"SHA-256 failed");
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace Tessavo
