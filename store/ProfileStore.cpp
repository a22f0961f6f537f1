#include "store/ProfileStore.h"

#include "core/PrivateFile.h"

#include <QDir>

namespace Tessavo::Store {

namespace {

// The profile's name as a file name: lower-case letters and digits, runs of anything else as
// one "-", so two spellings of one name share a file.
QString fileNameOf(const QString& name)
{
    QString stem;
    for (const QChar c : name.toLower()) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            stem.append(c);
        else if (!stem.isEmpty() && !stem.endsWith(u'-'))
            stem.append(u'-');
        if (stem.size() >= 60)
            break;
    }
    while (stem.endsWith(u'-'))
        stem.chop(1);
    if (stem.isEmpty())
        stem = QStringLiteral("profile");
    return stem + QStringLiteral(".json");
}

} // namespace

StoredProfiles loadProfiles(const QString& folder)
{
    StoredProfiles stored;
    if (folder.isEmpty())
        return stored;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QString& name : names) {
        if (stored.profiles.size() >= maxStoredProfiles) {
            stored.problems.append(
                QStringLiteral("%1: more than %2 profiles; the rest are left out")
                    .arg(name, QString::number(maxStoredProfiles)));
            break;
        }
        const PrivateRead file = readPrivateFile(dir.filePath(name), maxProfileBytes);
        if (!file.ok) {
            stored.problems.append(QStringLiteral("%1: %2").arg(name, file.error));
            continue;
        }
        const SubmissionProfileRead read = readSubmissionProfile(file.bytes);
        if (!read.ok) {
            stored.problems.append(QStringLiteral("%1: %2").arg(name, read.error));
            continue;
        }
        stored.profiles.append(read.profile);
    }
    return stored;
}

Status saveProfile(const QString& folder, const SubmissionProfile& profile)
{
    if (folder.isEmpty())
        return Status::failure(QStringLiteral("no folder keeps profiles"));
    const Status made = makePrivateFolder(folder);
    if (!made.ok)
        return made;
    return writePrivateFile(QDir(folder).filePath(fileNameOf(profile.name)),
                            submissionProfileJson(profile));
}

} // namespace Tessavo::Store
