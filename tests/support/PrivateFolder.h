#pragma once

#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

// A scratch folder of the test's own around the private data folder the program makes
// ("data", not there until the program writes into it) and the one file it keeps there.
class PrivateFolder {
public:
    explicit PrivateFolder(const QString& fileName)
        : m_file(m_scratch.filePath(QStringLiteral("data/") + fileName))
    {}

    bool isValid() const { return m_scratch.isValid(); }
    // Where the program keeps its file.
    const QString& file() const { return m_file; }
    // A path beside the data folder, for files of someone else's.
    QString outside(const QString& name) const { return m_scratch.filePath(name); }

    // Replaces the kept file's bytes, as another program or an old version would.
    [[nodiscard]] bool overwrite(const QByteArray& bytes) const
    {
        return TestFiles::writeBytes(m_file, bytes);
    }

    // Only the user may enter the folder and read or write the file.
    bool isPrivate() const
    {
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        return QFileInfo::exists(m_file) && !(QFile::permissions(m_file) & others) &&
               !(QFile::permissions(QFileInfo(m_file).path()) & others);
    }

private:
    QTemporaryDir m_scratch;
    QString m_file;
};
