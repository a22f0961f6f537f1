#pragma once

#include "support/ExternalTool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

// Runs programs as an ordinary user would: as "nobody" when the tests run as root (through
// setpriv), otherwise as the current user. Its folder is open to that user.
class UserRun {
public:
    UserRun()
        : m_dir(QDir::tempPath() + QStringLiteral("/tessavo-user-XXXXXX"))
    {
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody)
                return;
            m_uid = nobody->pw_uid;
            m_gid = nobody->pw_gid;
        }
        m_valid = m_dir.isValid() && open(m_dir.path());
    }

    bool isValid() const { return m_valid; }

    // A new folder the user can write into.
    QString folder(const QString& name) const
    {
        const QString path = m_dir.filePath(name);
        return QDir().mkpath(path) && open(path) ? path : QString();
    }

    // A copy of file that the user can read.
    QString copy(const QString& file) const
    {
        const QString path = m_dir.filePath(QFileInfo(file).fileName());
        QFile::remove(path);
        QFile::copy(file, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther);
        return path;
    }

    ToolRun run(const QStringList& command) const
    {
        if (m_uid < 0)
            return runTool(command.first(), command.mid(1));
        return runTool(QStringLiteral("setpriv"),
                       QStringList{QStringLiteral("--reuid=%1").arg(m_uid),
                                   QStringLiteral("--regid=%1").arg(m_gid),
                                   QStringLiteral("--clear-groups"), QStringLiteral("--")} +
                           command);
    }

private:
    static bool open(const QString& path)
    {
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::WriteGroup |
                                               QFile::ExeGroup | QFile::ReadOther |
                                               QFile::WriteOther | QFile::ExeOther);
    }

    QTemporaryDir m_dir;
    qint64 m_uid = -1;
    qint64 m_gid = -1;
    bool m_valid = false;
};
