#include "ui/DocumentListModel.h"

namespace Tessavo::Ui {

DocumentListModel::DocumentListModel(Flows::DocumentList* list, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_list(list)
{
    setSourceModel(list);
}

QVariant DocumentListModel::data(const QModelIndex& index, int role) const
{
    const DocumentRecord* record =
        index.isValid() && index.model() == this ? m_list->recordAt(index.row()) : nullptr;
    if (!record)
        return {};
    const DocumentRecord& r = *record;
    switch (role) {
    case Qt::DisplayRole:
    case FileNameRole:
        return r.fileName;
    case SourcePathRole:
        return r.sourcePath;
    case PagesRole:
        return r.pages;
    case TextPagesRole:
        return r.textPages;
    case SizeTextRole:
        return sizeText(r.sizeBytes);
    case StateTextRole:
        return stateText(r.state);
    case CategoryRole:
        return displayCategory(r);
    case RuleNameRole:
        return r.suggestion.ruleName;
    case EvidenceRole:
        return r.suggestion.evidence;
    case ConflictRole:
        return r.suggestion.conflict;
    case ConflictNoteRole:
        return r.suggestion.conflictNote;
    case DecisionRole:
        return r.decision;
    case DecisionTextRole:
        return decisionText(r.decision);
    case ShaRole:
        return QString::fromLatin1(r.sha256.left(12));
    case NoteRole:
        return r.note;
    case HasSuggestionRole:
        return hasSuggestion(r);
    case ErrorTextRole:
        return r.errorText;
    case SuggestedCategoryRole:
        return r.suggestion.category;
    case FileStatusRole:
        return r.fileStatus;
    case FileStatusTextRole:
        return fileStatusText(r.fileStatus);
    case RecognitionTextRole:
        return recognitionText(r);
    case StateRole:
        return r.state;
    case CanAcceptRole:
        return canAccept(r);
    default:
        return {};
    }
}

QHash<int, QByteArray> DocumentListModel::roleNames() const
{
    return {
        {FileNameRole, "fileName"},
        {RecognitionTextRole, "recognitionText"},
        {StateRole, "documentState"},
        {CanAcceptRole, "canAccept"},
        {SourcePathRole, "sourcePath"},
        {PagesRole, "pages"},
        {TextPagesRole, "textPages"},
        {SizeTextRole, "sizeText"},
        {StateTextRole, "stateText"},
        {CategoryRole, "category"},
        {RuleNameRole, "ruleName"},
        {EvidenceRole, "evidence"},
        {ConflictRole, "conflict"},
        {ConflictNoteRole, "conflictNote"},
        {DecisionRole, "decision"},
        {DecisionTextRole, "decisionText"},
        {ShaRole, "sha"},
        {NoteRole, "note"},
        {HasSuggestionRole, "hasSuggestion"},
        {ErrorTextRole, "errorText"},
        {SuggestedCategoryRole, "suggestedCategory"},
        {FileStatusRole, "fileStatus"},
        {FileStatusTextRole, "fileStatusText"},
    };
}

} // namespace Tessavo::Ui
