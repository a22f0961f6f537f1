#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>

namespace Tessavo {

// The SHA-256 of a file's bytes, or why there is none.
struct [[nodiscard]] FileDigest {
    bool ok = false;
    QString error;     // "cannot open file: …" or "cannot read file: …"; empty when cancelled
    QByteArray sha256; // 64 lowercase hexadecimal characters when ok
    qint64 size = 0;   // the bytes read, all of the file when ok
    bool cancelled = false;
};

// Reads the file once, in large blocks. A set cancel flag stops it between blocks.
FileDigest sha256OfFile(const QString& path, const std::atomic<bool>* cancel = nullptr);
// The same for a path given as the file system's bytes.
FileDigest sha256OfFile(const QByteArray& rawPath, const std::atomic<bool>* cancel = nullptr);
// The same for a file the caller opened (for instance without following links), from where it
// stands to its end.
FileDigest sha256OfFile(QFile& file, const std::atomic<bool>* cancel = nullptr);

} // namespace Tessavo
