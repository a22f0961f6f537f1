#pragma once

#include "bundle/ZipReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QtEndian>

// What an archive holds, read with the bundle's own ZIP reader and field by field, for tests that
// check what was written.
namespace ZipReading {

struct Reading {
    QList<Tessavo::ZipEntryInfo> entries;
    QStringList problems;
};

// The archive's entries, or the problems the reader reported.
inline Reading readWithZipReader(const QString& path)
{
    Reading reading;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, {"cannot open " + path}};
    Tessavo::ZipReader reader(file, [&reading](const QByteArray& name, const QString& what) {
        reading.problems << QString::fromUtf8(name) + ": " + what;
    });
    if (reader.readDirectory())
        reading.entries = reader.entries();
    return reading;
}

// Little-endian fields of a ZIP record.
inline quint16 at16(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

inline quint32 at32(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

inline quint64 at64(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint64>(bytes.constData() + offset);
}

// A file's SHA-256 in hex, empty when it cannot be read.
inline QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// The bytes of a file at offset.
inline QByteArray bytesAt(const QString& path, qint64 offset, qint64 count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(count);
}

} // namespace ZipReading
