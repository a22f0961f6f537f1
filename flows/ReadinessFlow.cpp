#include "flows/ReadinessFlow.h"

#include "bundle/BundleReadiness.h"
#include "flows/DocumentList.h"
#include "store/ProfileStore.h"

#include <QDebug>
#include <QFileInfo>

namespace Tessavo::Flows {

namespace {

// A check costs time in proportion to the list: while an import or a bulk decision changes it,
// it is checked at most this often.
constexpr int recheckDelayMs = 150;

QString fixName(ReadinessFix fix)
{
    switch (fix) {
    case ReadinessFix::FitNames:
        return QStringLiteral("names");
    case ReadinessFix::RecogniseScans:
        return QStringLiteral("recognise");
    case ReadinessFix::IgnoreDuplicates:
        return QStringLiteral("duplicates");
    case ReadinessFix::None:
        break;
    }
    return QString();
}

} // namespace

ReadinessFlow::ReadinessFlow(const DocumentList& documents, const QString& profilesFolder,
                             QObject* parent)
    : QObject(parent)
    , m_documents(documents)
    , m_folder(profilesFolder)
    , m_profiles(builtInProfiles())
{
    const Store::StoredProfiles stored = Store::loadProfiles(m_folder);
    m_profiles.append(stored.profiles);
    for (const QString& problem : stored.problems)
        qWarning().noquote()
            << QStringLiteral("A submission profile was left out: %1").arg(problem);

    m_recheck.setSingleShot(true);
    m_recheck.setInterval(recheckDelayMs);
    connect(&m_recheck, &QTimer::timeout, this, &ReadinessFlow::check);
    connect(&documents, &QAbstractItemModel::rowsInserted, this, &ReadinessFlow::listChanged);
    connect(&documents, &QAbstractItemModel::rowsRemoved, this, &ReadinessFlow::listChanged);
    connect(&documents, &QAbstractItemModel::modelReset, this, &ReadinessFlow::listChanged);
    connect(&documents, &QAbstractItemModel::dataChanged, this, &ReadinessFlow::listChanged);
    check();
}

QStringList ReadinessFlow::profileNames() const
{
    QStringList names;
    for (const SubmissionProfile& profile : m_profiles)
        names.append(profile.name);
    return names;
}

void ReadinessFlow::setProfileIndex(int index)
{
    if (index < 0 || index >= m_profiles.size() || index == m_index)
        return;
    m_index = index;
    emit profileChanged();
    check();
}

void ReadinessFlow::setFitNames(bool on)
{
    if (on == m_fitNames)
        return;
    m_fitNames = on;
    emit profileChanged();
    check();
}

NameLimits ReadinessFlow::exportNameLimits() const
{
    return m_fitNames ? nameLimitsOf(profile()) : NameLimits();
}

qint64 ReadinessFlow::zipVolumeBytes() const
{
    return profile().zipVolumeBytes.value_or(0);
}

void ReadinessFlow::setWatching(bool on)
{
    if (on == m_watching)
        return;
    m_watching = on;
    emit watchingChanged();
    if (on)
        check();
}

void ReadinessFlow::listChanged()
{
    if (m_watching && !m_recheck.isActive())
        m_recheck.start();
}

void ReadinessFlow::check()
{
    m_recheck.stop();
    m_report = checkExportReadiness(profile(), m_documents.records(), m_fitNames);
    emit checked();
}

QVariantList ReadinessFlow::outcomes() const
{
    QVariantList list;
    for (const ReadinessOutcome& outcome : m_report.outcomes) {
        QStringList paths;
        for (const FailingDocument& document : outcome.failing)
            paths.append(document.path);
        list.append(QVariantMap{{QStringLiteral("requirement"), outcome.requirement},
                                {QStringLiteral("passed"), outcome.passed},
                                {QStringLiteral("problem"), outcome.problem},
                                {QStringLiteral("fix"), fixName(outcome.fix)},
                                {QStringLiteral("paths"), paths},
                                {QStringLiteral("count"), int(paths.size())}});
    }
    return list;
}

QString ReadinessFlow::failedRequirements() const
{
    QStringList lines;
    for (const ReadinessOutcome& outcome : m_report.outcomes) {
        if (!outcome.passed)
            lines.append(QStringLiteral("%1: %2").arg(outcome.requirement, outcome.problem));
    }
    return lines.join(u'\n');
}

void ReadinessFlow::addProfileFile(const QUrl& url)
{
    const QString path = url.toLocalFile();
    const QString fileName = QFileInfo(path).fileName();
    SubmissionProfileRead read = readSubmissionProfileFile(path);
    if (!read.ok) {
        emit status(QStringLiteral("“%1” is not a usable submission profile: %2")
                        .arg(fileName, read.error));
        return;
    }
    SubmissionProfile& profile = read.profile;
    if (profile.name.trimmed().isEmpty())
        profile.name = QFileInfo(path).completeBaseName();
    const Status kept = Store::saveProfile(m_folder, profile);
    if (!kept.ok && !m_folder.isEmpty())
        qWarning().noquote()
            << QStringLiteral("The submission profile could not be kept: %1").arg(kept.error);
    // A profile of the same name (a built-in one aside) is replaced.
    qsizetype at = -1;
    for (qsizetype i = builtInProfiles().size(); i < m_profiles.size(); ++i) {
        if (m_profiles.at(i).name.compare(profile.name, Qt::CaseInsensitive) == 0)
            at = i;
    }
    if (at < 0) {
        at = m_profiles.size();
        m_profiles.append(profile);
    } else {
        m_profiles[at] = profile;
    }
    emit profilesChanged();
    m_index = int(at);
    emit profileChanged();
    check();
    emit status(kept.ok || m_folder.isEmpty()
                    ? QStringLiteral("Checking the package against “%1”.").arg(profile.name)
                    : QStringLiteral("Checking the package against “%1”; it could not be kept "
                                     "for the next start.")
                          .arg(profile.name));
}

} // namespace Tessavo::Flows
