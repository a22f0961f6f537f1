#pragma once

#include "core/ReadinessCheck.h"
#include "core/SubmissionProfile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantList>

namespace Tessavo::Flows {

class DocumentList;

// Whether the package an export would write meets the upload rules of a tender portal: the
// profiles to choose from (the built-in ones, then those the user added, kept in a private
// folder), the one chosen, and its check against the list, done again while anyone watches and
// the list changes. The export takes the chosen profile's ZIP limit, and its name limits once the
// user asked for names fitted to them.
class ReadinessFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList profileNames READ profileNames NOTIFY profilesChanged)
    Q_PROPERTY(int profileIndex READ profileIndex WRITE setProfileIndex NOTIFY profileChanged)
    Q_PROPERTY(bool fitNames READ fitNames WRITE setFitNames NOTIFY profileChanged)
    Q_PROPERTY(bool limitsNames READ limitsNames NOTIFY profileChanged)
    Q_PROPERTY(bool watching READ watching WRITE setWatching NOTIFY watchingChanged)
    // One map per rule of the profile: requirement, passed, problem, fix ("names", "recognise",
    // "duplicates" or ""), paths (the failing documents' source paths) and count.
    Q_PROPERTY(QVariantList outcomes READ outcomes NOTIFY checked)
    Q_PROPERTY(bool ready READ ready NOTIFY checked)
    Q_PROPERTY(int brokenCount READ brokenCount NOTIFY checked)

public:
    // An empty folder keeps no profiles the user adds.
    ReadinessFlow(const DocumentList& documents, const QString& profilesFolder,
                  QObject* parent = nullptr);

    QStringList profileNames() const;
    int profileIndex() const { return m_index; }
    void setProfileIndex(int index);
    const SubmissionProfile& profile() const { return m_profiles.at(m_index); }

    // The copies are stored under names fitted to the profile's limits.
    bool fitNames() const { return m_fitNames; }
    void setFitNames(bool on);
    // The chosen profile limits the names of the files.
    bool limitsNames() const { return nameLimitsOf(profile()).any(); }
    // The name limits and ZIP size the export is to keep to.
    NameLimits exportNameLimits() const;
    qint64 zipVolumeBytes() const;

    // The Export page is shown: the check follows the list. Turned on, it checks at once.
    bool watching() const { return m_watching; }
    void setWatching(bool on);

    QVariantList outcomes() const;
    bool ready() const { return m_report.ready(); }
    int brokenCount() const { return int(m_report.brokenCount()); }
    // The rules that fail, one per line, for the question before an export.
    Q_INVOKABLE QString failedRequirements() const;

    // Reads a profile file the user picked, keeps a copy among the user's profiles and chooses
    // it; a profile of the same name is replaced. The status says what happened.
    Q_INVOKABLE void addProfileFile(const QUrl& url);

    // Checks the list now.
    Q_INVOKABLE void check();

signals:
    void profilesChanged();
    void profileChanged();
    void watchingChanged();
    void checked();
    // What happened, for the status line.
    void status(const QString& text);

private:
    void listChanged();

    const DocumentList& m_documents;
    QString m_folder;
    QList<SubmissionProfile> m_profiles; // the built-in ones first
    int m_index = 0;
    bool m_fitNames = false;
    bool m_watching = false;
    ReadinessReport m_report;
    QTimer m_recheck; // a burst of changes is checked once
};

} // namespace Tessavo::Flows
