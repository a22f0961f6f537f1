// The controller's review decisions: accept, change, ignore and reset.
#include "ui/AppController.h"

namespace Tessavo::Ui {

void AppController::decide(int row, const std::function<void(DocumentRecord&)>& change)
{
    DocumentRecord* record = m_documents.recordAt(row);
    if (!record)
        return;
    change(*record);
    m_documents.notifyRowChanged(row);
    storeReviews({row});
    emit summaryChanged();
}

void AppController::acceptDocument(int row)
{
    const DocumentRecord* record = m_documents.recordAt(row);
    if (!record)
        return;
    if (record->suggestedCategory.isEmpty()) {
        setStatus(QStringLiteral("No suggestion to accept. Choose a category instead."));
        return;
    }
    decide(row, [](DocumentRecord& r) {
        r.decision = Accepted;
        r.finalCategory = r.suggestedCategory;
    });
}

void AppController::changeDocumentCategory(int row, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (trimmed.isEmpty())
        return;
    decide(row, [&trimmed](DocumentRecord& r) {
        r.decision = Changed;
        r.finalCategory = trimmed;
    });
}

void AppController::ignoreDocument(int row)
{
    decide(row, [](DocumentRecord& r) { r.decision = Ignored; });
}

void AppController::resetDecision(int row)
{
    decide(row, [](DocumentRecord& r) {
        r.decision = NeedsReview;
        r.finalCategory.clear();
    });
}

void AppController::acceptAllSuggested()
{
    const QString nothing = QStringLiteral("Nothing to accept: no clear suggestions are pending.");
    if (m_documents.rowCount() == 0) {
        setStatus(nothing);
        emit summaryChanged();
        return;
    }
    QList<int> rows;
    for (int row = 0; row < m_documents.rowCount(); ++row) {
        DocumentRecord* r = m_documents.recordAt(row);
        if (r->decision != NeedsReview || r->suggestedCategory.isEmpty() || r->conflict)
            continue;
        r->decision = Accepted;
        r->finalCategory = r->suggestedCategory;
        m_documents.notifyRowChanged(row);
        rows.append(row);
    }
    storeReviews(rows); // one change, one transaction
    const int accepted = int(rows.size());
    if (accepted == 0)
        setStatus(nothing);
    else
        setStatus(
            QStringLiteral("Accepted %1 suggestion(s). Conflicting items were left for review.")
                .arg(accepted));
    emit summaryChanged();
}

} // namespace Tessavo::Ui
