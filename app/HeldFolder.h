#pragma once

#include <QByteArray>
#include <QString>

namespace Tessavo::App {

// A folder named on the command line by bytes that a QString cannot carry (a name that is not
// valid UTF-8), reached through an open descriptor: "/proc/self/fd/N" names that very folder to
// every Qt file function, in this process.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // Creates the folder and its missing parents as mkdir -p does, then holds it.
    [[nodiscard]] bool open(const QByteArray& path);
    QString errorString() const { return m_error; }

    // The folder's name inside this process.
    QString path() const { return m_path; }
    // A path that begins with path(), spelled again with the folder's own bytes.
    QByteArray originalBytes(const QString& inside) const;

private:
    int m_fd = -1;
    QByteArray m_bytes;
    QString m_path;
    QString m_error;
};

} // namespace Tessavo::App
