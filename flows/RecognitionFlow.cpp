// Text recognition of scans: the recognised text becomes the document's page texts and the
// document is classified again; its state stays "Needs OCR".
#include "flows/RecognitionFlow.h"

#include "core/Classification.h"
#include "core/Failure.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "inspection/PageRecognition.h"
#include "inspection/RecognitionSession.h"
#include "store/SettingsFile.h"

#include <algorithm>

namespace Tessavo::Flows {

RecognitionFlow::RecognitionFlow(DocumentList& documents, const RuleBook& rules,
                                 SessionFlow& session, const QString& settingsPath, QObject* parent)
    : QObject(parent)
    , m_documents(documents)
    , m_rules(rules)
    , m_session(session)
    , m_settingsPath(settingsPath)
    , m_recognition(new Inspection::RecognitionSession(this))
{
    connect(m_recognition, &Inspection::RecognitionSession::recognised, this,
            &RecognitionFlow::onRecognised);
    connect(m_recognition, &Inspection::RecognitionSession::finished, this,
            &RecognitionFlow::onFinished);
    connect(m_recognition, &Inspection::RecognitionSession::progressed, this,
            &RecognitionFlow::announce);
    const Store::Settings settings = Store::loadSettings(m_settingsPath);
    m_duringImport = settings.recogniseDuringImport;
    m_language =
        settings.language.isEmpty() ? Inspection::defaultRecognitionLanguage : settings.language;
    m_recognition->setLanguage(m_language);
}

RecognitionFlow::~RecognitionFlow() = default;

void RecognitionFlow::announce()
{
    const bool nowRunning = running();
    const int nowProgress = progress();
    if (nowRunning != m_announcedRunning) {
        m_announcedRunning = nowRunning;
        emit runningChanged();
    }
    if (nowProgress != m_announcedProgress) {
        m_announcedProgress = nowProgress;
        emit progressChanged();
    }
}

QStringList RecognitionFlow::languages() const
{
    return Inspection::installedRecognitionLanguages();
}

void RecognitionFlow::setLanguage(const QString& language)
{
    if (language.isEmpty() || language == m_language)
        return;
    m_language = language;
    m_recognition->setLanguage(language);
    emit languageChanged();
    saveSettings();
}

void RecognitionFlow::saveSettings()
{
    const Status written = Store::saveSettings(m_settingsPath, {m_duringImport, m_language});
    if (!written.ok)
        emit status(QStringLiteral("Cannot save the settings: %1").arg(written.error));
}

bool RecognitionFlow::running() const
{
    return m_recognition->active();
}

int RecognitionFlow::progress() const
{
    return m_recognition->active() ? m_recognition->progressPercent() : 0;
}

void RecognitionFlow::setDuringImport(bool on)
{
    if (on == m_duringImport)
        return;
    m_duringImport = on;
    emit duringImportChanged();
    saveSettings();
}

void RecognitionFlow::duringImportThisRun()
{
    if (m_duringImport)
        return;
    m_duringImport = true;
    emit duringImportChanged();
}

void RecognitionFlow::recogniseScans()
{
    QList<int> rows;
    for (int row = 0; row < m_documents.rowCount(); ++row) {
        const DocumentRecord* record = m_documents.recordAt(row);
        const bool recognisedAlready =
            std::any_of(record->pageTexts.cbegin(), record->pageTexts.cend(),
                        [](const PageText& page) { return page.recognised; });
        if (record->state == NeedsOcr && !recognisedAlready)
            rows << row;
    }
    if (rows.isEmpty()) {
        emit status(QStringLiteral("No scanned document is waiting for text recognition."));
        return;
    }
    recogniseRows(rows);
}

void RecognitionFlow::recogniseDocument(int row)
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (!record || record->state != NeedsOcr)
        return;
    recogniseRows({row});
}

void RecognitionFlow::recogniseImported(int row)
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (m_duringImport && record && record->state == NeedsOcr)
        recogniseRows({row});
}

void RecognitionFlow::recogniseRows(const QList<int>& rows)
{
    const bool wasActive = m_recognition->active();
    if (!wasActive) {
        m_recognisedCount = 0;
        m_failedCount = 0;
        m_missing.clear();
    }
    int queued = 0;
    for (const int row : rows) {
        const DocumentRecord* record = m_documents.recordAt(row);
        if (!record || m_recognition->contains(record->sourcePath))
            continue;
        m_recognition->enqueue(record->sourcePath, record->pages);
        ++queued;
    }
    if (queued == 0)
        return;
    if (!wasActive)
        emit status(QStringLiteral("Recognising the text of scanned documents…"));
    announce();
}

void RecognitionFlow::cancel()
{
    if (!m_recognition->active())
        return;
    m_recognition->cancel();
    emit status(QStringLiteral("Text recognition cancelled."));
    announce();
}

void RecognitionFlow::onRecognised(const Inspection::RecognitionResult& result)
{
    int row = -1;
    for (int i = 0; i < m_documents.rowCount(); ++i) {
        const DocumentRecord* record = m_documents.recordAt(i);
        if (record->sourcePath == result.path && record->state == NeedsOcr) {
            row = i;
            break;
        }
    }
    if (row < 0)
        return; // cleared meanwhile
    if (result.pageTexts.isEmpty()) {
        ++m_failedCount;
        if (result.errorText.startsWith(QLatin1String("Text recognition needs")))
            m_missing = result.errorText;
    } else {
        ++m_recognisedCount;
    }
    m_documents.update(row, [this, &result](DocumentRecord& record) {
        record.recognitionError = result.errorText;
        if (!result.pageTexts.isEmpty() && record.pageTexts.size() == result.pages) {
            for (const PageText& page : result.pageTexts) {
                if (page.pageIndex >= 0 && page.pageIndex < record.pageTexts.size())
                    record.pageTexts[page.pageIndex] = page;
            }
            setSuggestion(record, m_rules.suggest(record));
        }
        return true;
    });
    m_session.storeRecords({row});
}

void RecognitionFlow::onFinished()
{
    if (!m_missing.isEmpty())
        emit status(m_missing);
    else if (m_failedCount == 0)
        emit status(QStringLiteral("Recognised the text of %1 scanned document(s).")
                        .arg(m_recognisedCount));
    else
        emit status(QStringLiteral("Recognised the text of %1 scanned document(s); %2 could not be "
                                   "recognised.")
                        .arg(QString::number(m_recognisedCount), QString::number(m_failedCount)));
    qInfo().noquote() << QStringLiteral("Text recognition finished: %1 recognised, %2 failed")
                             .arg(QString::number(m_recognisedCount),
                                  QString::number(m_failedCount));
    announce();
    emit finished({.recognised = m_recognisedCount, .failed = m_failedCount, .missing = m_missing});
}

} // namespace Tessavo::Flows
