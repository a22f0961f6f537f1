#include "app/HeldFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo::App {

HeldFolder::~HeldFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HeldFolder::open(const QByteArray& path)
{
    if (m_fd >= 0 || path.isEmpty() || path.contains('\0')) {
        m_error = QString::fromLocal8Bit(std::strerror(EINVAL));
        return false;
    }
    // Each missing folder on the way, from the top.
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray prefix = slash < 0 ? path : path.left(slash);
        if (::mkdir(prefix.constData(), 0777) != 0 && errno != EEXIST) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (slash < 0)
            break;
    }
    m_fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_bytes = path.endsWith('/') && path.size() > 1 ? path.chopped(1) : path;
    m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    return true;
}

QByteArray HeldFolder::originalBytes(const QString& inside) const
{
    if (m_path.isEmpty() || !inside.startsWith(m_path))
        return QFile::encodeName(inside);
    const QString rest = inside.mid(m_path.size());
    if (!rest.isEmpty() && !rest.startsWith(u'/'))
        return QFile::encodeName(inside);
    return m_bytes + QFile::encodeName(rest);
}

} // namespace Tessavo::App
