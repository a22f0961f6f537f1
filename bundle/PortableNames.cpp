#include "bundle/PortableNames.h"

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

// The part of a file name that a shortened name keeps whole: from its last dot, when that dot does
// not start the name and what follows is short enough to be an extension.
qsizetype extensionStart(const QString& name)
{
    constexpr qsizetype longestExtension = 32; // bytes, dot included
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || QStringView(name).mid(dot).toUtf8().size() > longestExtension)
        return name.size();
    return dot;
}

// stem shortened, at a character boundary, until stem + tail fits in a file name.
QString fitted(QString stem, const QString& tail)
{
    const qsizetype tailBytes = tail.toUtf8().size();
    qsizetype bytes = stem.toUtf8().size();
    while (!stem.isEmpty() && bytes + tailBytes > maxNameBytes) {
        // One code point at a time: a surrogate pair goes whole.
        const qsizetype width = stem.size() >= 2 && stem.back().isLowSurrogate() &&
                                        stem.at(stem.size() - 2).isHighSurrogate()
                                    ? 2
                                    : 1;
        bytes -= QStringView(stem).right(width).toUtf8().size();
        stem.chop(width);
    }
    return stem + tail;
}

// name with "-n" before the extension of its file name; a leading dot starts no extension. The
// stem is shortened when the result would be too long for a file system.
QString numbered(const QString& name, int n)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    const QString suffix = QStringLiteral("-%1").arg(n);
    const QString made = fitted(name.left(cut), suffix + name.mid(cut));
    // An extension too long to keep goes the way of the stem.
    return made.toUtf8().size() <= maxNameBytes ? made : fitted(name, suffix);
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
    if (out.toUtf8().size() <= maxNameBytes)
        return out;
    // Too long for a file system: the stem gives way, the extension stays. A stem shortened this
    // far is far longer than any device name.
    const qsizetype cut = extensionStart(out);
    out = fitted(out.left(cut), out.mid(cut));
    while (!out.isEmpty() && (out.back() == u'.' || out.back() == u' '))
        out.chop(1);
    return out.isEmpty() ? QStringLiteral("_") : out;
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
    // For each name that clashed, the number its next clash tries first. Every smaller number is
    // taken for good (the taken sets only grow), so each clash costs a step or two instead of
    // counting again from 2. Numbers only carry over while nothing has to be shortened.
    QHash<QString, int> nextNumber;
    QStringList stored;
    stored.reserve(entries.size());
    for (const Entry& entry : std::as_const(entries)) {
        const auto keyOf = [&entry](const QString& name) {
            return entry.folderKey + u'/' + nameKey(name);
        };
        QString name = entry.name;
        QString key = keyOf(name);
        if (assigned.contains(key) || folderSpelling.contains(key)) {
            const QString clashKey = key;
            const bool roomy = entry.name.toUtf8().size() + 12 <= maxNameBytes;
            for (int n = roomy ? nextNumber.value(clashKey, 2) : 2;; ++n) {
                name = numbered(entry.name, n);
                key = keyOf(name);
                if (!natural.contains(key) && !assigned.contains(key) &&
                    !folderSpelling.contains(key)) {
                    if (roomy)
                        nextNumber.insert(clashKey, n + 1);
                    break;
                }
            }
        }
        assigned.insert(key);
        stored.append(entry.folder.isEmpty() ? name : entry.folder + u'/' + name);
    }
    return stored;
}

} // namespace Tessavo
