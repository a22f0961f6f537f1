// The controller's review decisions: accept, change, ignore and reset.
#include "ui/AppController.h"

namespace Tessavo::Ui {

void AppController::decide(int row, const std::function<bool(DocumentRecord&)>& change)
{
    if (!m_documents.update(row, change))
        return;
    storeReviews({row});
    emit summaryChanged();
}

void AppController::acceptDocument(int row)
{
    decide(row, [this](DocumentRecord& r) {
        if (acceptSuggestion(r))
            return true;
        setStatus(QStringLiteral("No suggestion to accept. Choose a category instead."));
        return false;
    });
}

void AppController::changeDocumentCategory(int row, const QString& category)
{
    const QString trimmed = category.trimmed();
    if (trimmed.isEmpty())
        return;
    decide(row, [&trimmed](DocumentRecord& r) {
        changeCategory(r, trimmed);
        return true;
    });
}

void AppController::ignoreDocument(int row)
{
    decide(row, [](DocumentRecord& r) {
        ignore(r);
        return true;
    });
}

void AppController::resetDecision(int row)
{
    decide(row, [](DocumentRecord& r) {
        Tessavo::resetDecision(r);
        return true;
    });
}

void AppController::acceptAllSuggested()
{
    const QList<int> rows = m_documents.updateEach(
        [](DocumentRecord& r) { return hasClearSuggestion(r) && acceptSuggestion(r); });
    storeReviews(rows); // one change, one transaction
    const int accepted = int(rows.size());
    if (accepted == 0)
        setStatus(QStringLiteral("Nothing to accept: no clear suggestions are pending."));
    else
        setStatus(
            QStringLiteral("Accepted %1 suggestion(s). Conflicting items were left for review.")
                .arg(accepted));
    emit summaryChanged();
}

} // namespace Tessavo::Ui
