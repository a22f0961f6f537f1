// The controller's text recognition of scans: the recognised text becomes the document's page
// texts and the document is classified again; its state stays "Needs OCR".
#include "ui/AppController.h"

#include "core/Classification.h"
#include "core/Failure.h"
#include "inspection/PageRecognition.h"
#include "inspection/RecognitionSession.h"
#include "store/SettingsFile.h"
#include "ui/RuleBook.h"

namespace Tessavo::Ui {

void AppController::setUpRecognition()
{
    m_recognition = new Inspection::RecognitionSession(this);
    connect(m_recognition, &Inspection::RecognitionSession::recognised, this,
            &AppController::onRecognised);
    connect(m_recognition, &Inspection::RecognitionSession::finished, this,
            &AppController::onRecognitionFinished);
    connect(m_recognition, &Inspection::RecognitionSession::progressed, this,
            &AppController::announceBusy);
    const Store::Settings settings = Store::loadSettings(m_settingsPath);
    m_recogniseDuringImport = settings.recogniseDuringImport;
    m_recognitionLanguage =
        settings.language.isEmpty() ? Inspection::defaultRecognitionLanguage : settings.language;
    m_recognition->setLanguage(m_recognitionLanguage);
}

QStringList AppController::recognitionLanguages() const
{
    return Inspection::installedRecognitionLanguages();
}

void AppController::setRecognitionLanguage(const QString& language)
{
    if (language.isEmpty() || language == m_recognitionLanguage)
        return;
    m_recognitionLanguage = language;
    m_recognition->setLanguage(language);
    emit recognitionLanguageChanged();
    saveRecognitionSettings();
}

void AppController::saveRecognitionSettings()
{
    const Status written =
        Store::saveSettings(m_settingsPath, {m_recogniseDuringImport, m_recognitionLanguage});
    if (!written.ok)
        setStatus(QStringLiteral("Cannot save the settings: %1").arg(written.error));
}

bool AppController::recognising() const
{
    return m_recognition->active();
}

int AppController::recognitionProgress() const
{
    return m_recognition->active() ? m_recognition->progressPercent() : 0;
}

void AppController::setRecogniseDuringImport(bool on)
{
    if (on == m_recogniseDuringImport)
        return;
    m_recogniseDuringImport = on;
    emit recogniseDuringImportChanged();
    saveRecognitionSettings();
}

void AppController::recogniseDuringImportThisRun()
{
    if (m_recogniseDuringImport)
        return;
    m_recogniseDuringImport = true;
    emit recogniseDuringImportChanged();
}

void AppController::recogniseScans()
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
        setStatus(QStringLiteral("No scanned document is waiting for text recognition."));
        return;
    }
    recogniseRows(rows);
}

void AppController::recogniseDocument(int row)
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (!record || record->state != NeedsOcr)
        return;
    recogniseRows({row});
}

void AppController::recogniseRows(const QList<int>& rows)
{
    const bool wasActive = m_recognition->active();
    if (!wasActive) {
        m_recognisedCount = 0;
        m_recognitionFailed = 0;
        m_recognitionMissing.clear();
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
        setStatus(QStringLiteral("Recognising the text of scanned documents…"));
    announceBusy();
}

void AppController::cancelRecognition()
{
    if (!m_recognition->active())
        return;
    m_recognition->cancel();
    setStatus(QStringLiteral("Text recognition cancelled."));
    announceBusy();
}

void AppController::onRecognised(const Inspection::RecognitionResult& result)
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
        ++m_recognitionFailed;
        if (result.errorText.startsWith(QLatin1String("Text recognition needs")))
            m_recognitionMissing = result.errorText;
    } else {
        ++m_recognisedCount;
    }
    const QList<Rule>& rules = m_ruleBook->rules();
    m_documents.update(row, [&result, &rules](DocumentRecord& record) {
        record.recognitionError = result.errorText;
        if (!result.pageTexts.isEmpty() && record.pageTexts.size() == result.pages) {
            for (const PageText& page : result.pageTexts) {
                if (page.pageIndex >= 0 && page.pageIndex < record.pageTexts.size())
                    record.pageTexts[page.pageIndex] = page;
            }
            setSuggestion(record, classify(rules, record));
        }
        return true;
    });
    storeRecords({row});
    emit summaryChanged();
}

void AppController::onRecognitionFinished()
{
    if (!m_recognitionMissing.isEmpty())
        setStatus(m_recognitionMissing);
    else if (m_recognitionFailed == 0)
        setStatus(QStringLiteral("Recognised the text of %1 scanned document(s).")
                      .arg(m_recognisedCount));
    else
        setStatus(
            QStringLiteral("Recognised the text of %1 scanned document(s); %2 could not be "
                           "recognised.")
                .arg(QString::number(m_recognisedCount), QString::number(m_recognitionFailed)));
    qInfo().noquote() << QStringLiteral("Text recognition finished: %1 recognised, %2 failed")
                             .arg(QString::number(m_recognisedCount),
                                  QString::number(m_recognitionFailed));
    emit recognitionFinished({.recognised = m_recognisedCount,
                              .failed = m_recognitionFailed,
                              .missing = m_recognitionMissing});
    announceBusy();
}

} // namespace Tessavo::Ui
