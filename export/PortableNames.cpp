#include "export/PortableNames.h"

#include <QHash>
#include <QSet>

namespace Tessavo {

namespace {

bool isDeviceName(const QString& stem)
{
    static const QSet<QString> devices = [] {
        QSet<QString> names{QStringLiteral("CON"),    QStringLiteral("PRN"),
                            QStringLiteral("AUX"),    QStringLiteral("NUL"),
                            QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
        // COM0 to COM9 and LPT0 to LPT9, and the superscript digits Windows also reserves.
        const QString digits = QStringLiteral("0123456789¹²³");
        for (const QChar digit : digits) {
            names.insert(QStringLiteral("COM") + digit);
            names.insert(QStringLiteral("LPT") + digit);
        }
        return names;
    }();
    return devices.contains(stem.toUpper());
}

// Bytes a name may take on common file systems.
constexpr qsizetype maxNameBytes = 255;

// name with "-n" before the extension of its file name; a leading dot starts no extension. The
// stem is shortened when the result would be too long for a file system.
QString numbered(const QString& name, int n)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    QString stem = name.left(cut);
    const QString tail = QStringLiteral("-%1").arg(n) + name.mid(cut);
    while (!stem.isEmpty() && (stem + tail).toUtf8().size() > maxNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

} // namespace

QString portableName(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString out;
    out.reserve(name.size() + 1);
    for (const QChar c : name) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
        out += control || forbidden.contains(c) ? QChar(u'_') : c;
    }
    while (!out.isEmpty() && (out.back() == u'.' || out.back() == u' '))
        out.chop(1);
    if (out.isEmpty())
        return QStringLiteral("_");
    // Windows treats "NUL.pdf" and "nul .tar.gz" as the device as well.
    const qsizetype dot = out.indexOf(u'.');
    const qsizetype stemEnd = dot < 0 ? out.size() : dot;
    QString stem = out.left(stemEnd);
    while (stem.endsWith(u' '))
        stem.chop(1);
    if (isDeviceName(stem))
        out.insert(stemEnd, u'_');
    return out;
}

QString nameKey(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C)
        .toCaseFolded()
        .normalized(QString::NormalizationForm_C);
}

QStringList portablePaths(const QStringList& relativePaths)
{
    struct Entry {
        QString folder;    // as stored
        QString folderKey; // "/key/key" of every folder piece
        QString name;      // portable, before any clash is resolved
    };
    QHash<QString, QString> folderSpelling; // folder key path to its first spelling
    QList<Entry> entries;
    entries.reserve(relativePaths.size());
    for (const QString& path : relativePaths) {
        QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
        Entry entry;
        entry.name = pieces.isEmpty() ? QStringLiteral("_") : portableName(pieces.takeLast());
        for (const QString& piece : std::as_const(pieces)) {
            const QString portable = portableName(piece);
            entry.folderKey += u'/' + nameKey(portable);
            const auto known = folderSpelling.constFind(entry.folderKey);
            if (known != folderSpelling.cend()) {
                entry.folder = *known;
            } else {
                entry.folder = entry.folder.isEmpty() ? portable : entry.folder + u'/' + portable;
                folderSpelling.insert(entry.folderKey, entry.folder);
            }
        }
        entries.append(entry);
    }

    // A file never takes a folder's name, nor a name another entry has without any suffix.
    QSet<QString> natural;
    for (const Entry& entry : std::as_const(entries))
        natural.insert(entry.folderKey + u'/' + nameKey(entry.name));
    QSet<QString> assigned;
    QStringList stored;
    stored.reserve(entries.size());
    for (const Entry& entry : std::as_const(entries)) {
        const auto keyOf = [&entry](const QString& name) {
            return entry.folderKey + u'/' + nameKey(name);
        };
        QString name = entry.name;
        QString key = keyOf(name);
        if (assigned.contains(key) || folderSpelling.contains(key)) {
            for (int n = 2;; ++n) {
                name = numbered(entry.name, n);
                key = keyOf(name);
                if (!natural.contains(key) && !assigned.contains(key) &&
                    !folderSpelling.contains(key))
                    break;
            }
        }
        assigned.insert(key);
        stored.append(entry.folder.isEmpty() ? name : entry.folder + u'/' + name);
    }
    return stored;
}

} // namespace Tessavo
