#include "bundle/PortableNames.h"

#include "core/FileNames.h"

#include <QHash>
#include <QSet>

namespace Tessavo {

namespace {

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

// The first count code points of text.
QString leftCodePoints(const QString& text, qsizetype count)
{
    qsizetype i = 0;
    for (qsizetype taken = 0; i < text.size() && taken < count; ++taken) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++i;
    }
    return text.left(i);
}

// Only the plain characters: accents dropped, every run of other characters one "_".
QString plainSpelling(const QString& name)
{
    const QString decomposed = name.normalized(QString::NormalizationForm_KD);
    QString out;
    bool replaced = false;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (isPlainNameCharacter(c)) {
            out += c;
            replaced = false;
        } else if (!replaced) {
            out += u'_';
            replaced = true;
        }
    }
    while (out.startsWith(u'.') || out.startsWith(u' '))
        out.remove(0, 1);
    return out;
}

// name with suffix before its extension, its stem shortened until the whole fits the length and a
// file system; it neither ends in a period or space nor is a device name. Only when even the
// suffix cannot fit is the length exceeded.
QString fittedWithSuffix(const QString& name, const QString& suffix, std::optional<int> maxChars)
{
    const auto fits = [&maxChars](const QString& made) {
        return (!maxChars || nameLength(made) <= *maxChars) && made.toUtf8().size() <= maxNameBytes;
    };
    QString stem = name;
    QString extension;
    if (const qsizetype cut = extensionStart(name); cut < name.size()) {
        stem = name.left(cut);
        extension = name.mid(cut);
    }
    // An extension that leaves no room for a stem is shortened with it.
    if (!fits(u'_' + suffix + extension)) {
        stem = name;
        extension.clear();
    }
    const auto unfit = [&](const QString& made) {
        return !fits(made) || made.endsWith(u'.') || made.endsWith(u' ') ||
               isReservedDeviceName(made);
    };
    bool shortened = false;
    while (!stem.isEmpty() && unfit(stem + suffix + extension)) {
        stem = leftCodePoints(stem, nameLength(stem) - 1);
        shortened = true;
    }
    // A stem cut short ends in a word, not in the space or period before the next one.
    while (shortened && (stem.endsWith(u' ') || stem.endsWith(u'.')))
        stem.chop(1);
    if (stem.isEmpty())
        stem = QStringLiteral("_");
    return stem + suffix + extension;
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
    if (isReservedDeviceName(out))
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

QStringList fittedNames(const QStringList& names, const NameLimits& limits)
{
    QStringList fitted;
    fitted.reserve(names.size());
    QSet<QString> natural;
    for (const QString& name : names) {
        const QString made = fittedWithSuffix(
            portableName(limits.plain ? plainSpelling(name) : name), QString(), limits.maxLength);
        fitted.append(made);
        natural.insert(nameKey(made));
    }
    QSet<QString> taken;
    QHash<QString, int> nextNumber; // as in portablePaths: the numbers below are taken for good
    QStringList stored;
    stored.reserve(fitted.size());
    for (const QString& name : std::as_const(fitted)) {
        QString made = name;
        QString key = nameKey(made);
        if (taken.contains(key)) {
            const QString clashKey = key;
            for (int n = nextNumber.value(clashKey, 2);; ++n) {
                made = fittedWithSuffix(name, QStringLiteral("-%1").arg(n), limits.maxLength);
                key = nameKey(made);
                if (!taken.contains(key) && !natural.contains(key)) {
                    nextNumber.insert(clashKey, n + 1);
                    break;
                }
            }
        }
        taken.insert(key);
        stored.append(made);
    }
    return stored;
}

} // namespace Tessavo
