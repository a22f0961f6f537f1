#include "bundle/PastBundle.h"

#include "bundle/ExportBundle.h"
#include "bundle/ManifestCsv.h"
#include "bundle/ZipReader.h"
#include "bundle/ZipWriter.h"
#include "core/BundleLayout.h"
#include "core/DocumentRecord.h"
#include "core/RawPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

const QByteArray manifestName = BundleLayout::bytes(BundleLayout::manifestFile);

// A regular file below the folder, every folder on the way a real folder and no part a link.
Status regularFileInside(const QByteArray& folder, const QByteArray& relative)
{
    QByteArray path = folder;
    const QList<QByteArray> parts = relative.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path += '/' + parts.at(i);
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0)
            return Status::failure(QStringLiteral("missing"));
        const bool last = i + 1 == parts.size();
        if (last ? !S_ISREG(status.st_mode) : !S_ISDIR(status.st_mode))
            return Status::failure(QStringLiteral("not a regular file"));
    }
    return Status::success();
}

class Reader {
public:
    Reader(const QString& path, const QString& extractFolder,
           const std::function<bool()>& cancelled, const PastBundleLimits& limits)
        : m_path(path)
        , m_extractFolder(extractFolder)
        , m_cancelled(cancelled)
        , m_limits(limits)
    {
        m_result.label = QFileInfo(path).fileName();
    }

    PastBundle run()
    {
        const RawFileStatus status = rawFileStatus(QFile::encodeName(m_path));
        if (!status.ok)
            problem({}, QStringLiteral("cannot be read"));
        else if (status.directory)
            readFolder();
        else
            readZip();
        return std::move(m_result);
    }

private:
    void problem(const QByteArray& inside, const QString& what)
    {
        const QString where =
            inside.isEmpty() ? m_result.label : m_result.label + u'/' + displayPath(inside);
        m_result.problems.append(QStringLiteral("%1: %2").arg(where, what));
    }

    bool cancelled() const { return m_cancelled && m_cancelled(); }

    void readFolder()
    {
        m_folder = QFile::encodeName(m_path);
        QFile file;
        if (const Status opened =
                openRegularForReading(file, m_folder + '/' + manifestName, Links::Refuse);
            !opened.ok) {
            problem(manifestName, QStringLiteral("cannot be read: %1").arg(opened.error));
            return;
        }
        if (file.size() > m_limits.maxManifestBytes) {
            problem(manifestName, QStringLiteral("is far too large for a manifest"));
            return;
        }
        const QByteArray bytes = file.read(file.size());
        readRows(bytes);
    }

    void readZip()
    {
        QFile file;
        if (const Status opened =
                openRegularForReading(file, QFile::encodeName(m_path), Links::Follow);
            !opened.ok) {
            problem({}, QStringLiteral("cannot be read: %1").arg(opened.error));
            return;
        }
        ZipReader reader(
            file, [this](const QByteArray& entry, const QString& what) { problem(entry, what); });
        if (!reader.readDirectory())
            return;
        m_zip = &reader;
        for (qsizetype i = 0; i < reader.entries().size(); ++i)
            m_entries.insert(reader.entries().at(i).name, i);
        const ZipEntryInfo* manifest = entry(manifestName);
        if (!manifest)
            return;
        if (manifest->size > m_limits.maxManifestBytes) {
            problem(manifestName, QStringLiteral("is far too large for a manifest"));
            return;
        }
        QByteArray bytes;
        const Status read =
            reader.readData(*manifest, [&bytes](QByteArrayView piece) { bytes.append(piece); });
        if (!read.ok) {
            problem(manifestName, QStringLiteral("cannot be read: %1").arg(read.error));
            return;
        }
        readRows(bytes);
        m_zip = nullptr;
    }

    // The entry of that name that can be read, or null with the problem said.
    const ZipEntryInfo* entry(const QByteArray& name, int line = 0)
    {
        const auto it = m_entries.constFind(name);
        if (it == m_entries.cend()) {
            problem(name,
                    line > 0
                        ? QStringLiteral("missing, though manifest.csv line %1 lists it").arg(line)
                        : QStringLiteral("missing"));
            return nullptr;
        }
        const ZipEntryInfo& info = m_zip->entries().at(*it);
        if (!info.readable) {
            problem(name, QStringLiteral("cannot be read"));
            return nullptr;
        }
        return &info;
    }

    void readRows(const QByteArray& bytes)
    {
        const ManifestReading reading = readManifestCsv(bytes, [this](const ManifestProblem& p) {
            problem(manifestName, manifestProblemText(p));
        });
        if (!reading.ok)
            return;
        // Where each original lies, exactly as the export placed it.
        const QList<QByteArray> places =
            originalsOfRows(reading.rows, [this](const QByteArray& path) {
                if (m_zip)
                    return m_entries.contains(path);
                struct stat status {};
                return ::lstat((m_folder + '/' + path).constData(), &status) == 0;
            });
        const QString accepted = manifestDecisionText(Accepted);
        const QString changed = manifestDecisionText(Changed);
        for (qsizetype i = 0; i < reading.rows.size(); ++i) {
            const ManifestRow& row = reading.rows.at(i);
            if (cancelled())
                return;
            if (row.decision != accepted && row.decision != changed)
                continue;
            if (row.sha256.isEmpty() || row.size < 0)
                continue; // the manifest's problems said why
            if (row.finalCategory.trimmed().isEmpty()) {
                problem(manifestName,
                        QStringLiteral("line %1: filed without a category").arg(row.line));
                continue;
            }
            if (m_result.filed.size() >= m_limits.maxFiled) {
                problem(manifestName, QStringLiteral("lists more than %1 filed documents; the "
                                                     "rest are left out")
                                          .arg(m_limits.maxFiled));
                return;
            }
            const QByteArray& stored = places.at(i);
            if (!ZipWriter::validateEntryName(stored).ok) {
                problem(manifestName,
                        QStringLiteral("line %1: the source path leads outside originals/")
                            .arg(row.line));
                continue;
            }
            // One volume of a ZIP holds only some of the originals; the rest lie in the others.
            if (m_zip && reading.volumes && !m_entries.contains(stored))
                continue;
            const QString original = m_zip ? extract(stored, row) : inFolder(stored, row);
            if (original.isEmpty())
                continue;
            m_result.filed.append(
                {row.line, row.fileName, row.finalCategory, row.sha256, original});
        }
    }

    QString inFolder(const QByteArray& stored, const ManifestRow& row)
    {
        if (const Status found = regularFileInside(m_folder, stored); !found.ok) {
            problem(
                stored,
                found.error == QLatin1String("missing")
                    ? QStringLiteral("missing, though manifest.csv line %1 lists it").arg(row.line)
                    : found.error);
            return {};
        }
        const QString path = QFile::decodeName(m_folder + '/' + stored);
        if (QFileInfo(path).size() != row.size) {
            problem(stored, QStringLiteral("%1 bytes, manifest.csv line %2 says %3")
                                .arg(QString::number(QFileInfo(path).size()),
                                     QString::number(row.line), QString::number(row.size)));
            return {};
        }
        return path;
    }

    // Extracts the entry once, under a numbered name in the private folder.
    QString extract(const QByteArray& stored, const ManifestRow& row)
    {
        if (const auto done = m_extracted.constFind(stored); done != m_extracted.cend())
            return *done;
        const ZipEntryInfo* info = entry(stored, row.line);
        if (!info)
            return {};
        if (qint64(info->size) != row.size) {
            problem(stored, QStringLiteral("%1 bytes, manifest.csv line %2 says %3")
                                .arg(QString::number(info->size), QString::number(row.line),
                                     QString::number(row.size)));
            return {};
        }
        if (qint64(info->size) > m_limits.maxOriginalBytes ||
            m_extractedBytes + qint64(info->size) > m_limits.maxExtractedBytes) {
            problem(stored, QStringLiteral("too large to learn from"));
            return {};
        }
        const QString target =
            QDir(m_extractFolder).filePath(QStringLiteral("%1.pdf").arg(m_extracted.size() + 1));
        const QByteArray targetBytes = QFile::encodeName(target);
        const int fd = ::open(targetBytes.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        QFile out;
        if (fd < 0 || !out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            problem(stored, QStringLiteral("cannot be extracted"));
            return {};
        }
        bool written = true;
        const Status read = m_zip->readData(*info, [&](QByteArrayView piece) {
            written = written && out.write(piece.data(), piece.size()) == piece.size();
        });
        out.close();
        if (!read.ok || !written) {
            ::unlink(targetBytes.constData());
            problem(stored, read.ok ? QStringLiteral("cannot be extracted")
                                    : QStringLiteral("cannot be read: %1").arg(read.error));
            return {};
        }
        m_extractedBytes += qint64(info->size);
        m_extracted.insert(stored, target);
        return target;
    }

    QString m_path;
    QString m_extractFolder;
    const std::function<bool()>& m_cancelled;
    PastBundleLimits m_limits;
    PastBundle m_result;
    QByteArray m_folder;        // the bundle folder's bytes, when it is one
    ZipReader* m_zip = nullptr; // while the ZIP's rows are read
    QHash<QByteArray, qsizetype> m_entries;
    QHash<QByteArray, QString> m_extracted;
    qint64 m_extractedBytes = 0;
};

} // namespace

PastBundle readPastBundle(const QString& path, const QString& extractFolder,
                          const std::function<bool()>& cancelled, const PastBundleLimits& limits)
{
    return Reader(path, extractFolder, cancelled, limits).run();
}

} // namespace Tessavo
