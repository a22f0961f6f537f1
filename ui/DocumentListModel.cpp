#include "ui/DocumentListModel.h"

#include "core/RawPath.h"

#include <algorithm>

namespace Tessavo::Ui {

DocumentListModel::DocumentListModel(Flows::DocumentList* list, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_list(list)
{
    setSourceModel(list);
    m_duplicatesTimer.setSingleShot(true);
    connect(&m_duplicatesTimer, &QTimer::timeout, this, &DocumentListModel::findDuplicates);
    // After the proxy has taken each change over, so its rows are the list's. The duplicates are
    // found again once per burst of changes, however many rows an import adds meanwhile.
    connect(list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                noteFolders(first, last);
                // Rows added at the end leave the others where they were.
                scheduleDuplicates(first >= m_duplicateFlags.size() ? RowChange::Appended
                                                                    : RowChange::Moved);
            });
    connect(list, &QAbstractItemModel::rowsRemoved, this,
            [this] { scheduleDuplicates(RowChange::Moved); });
    connect(list, &QAbstractItemModel::rowsMoved, this,
            [this] { scheduleDuplicates(RowChange::Moved); });
    connect(list, &QAbstractItemModel::modelReset, this, [this] {
        // An emptied list starts afresh: what was imported before says nothing any more.
        if (m_list->records().isEmpty()) {
            m_roots.clear();
            m_folders.clear();
        }
        m_duplicateFlags.clear(); // every row was announced anew
        scheduleDuplicates(RowChange::Appended);
    });
    // A decision changes the count of duplicates left.
    connect(list, &QAbstractItemModel::dataChanged, this,
            [this] { scheduleDuplicates(RowChange::InPlace); });
    findDuplicates();
}

void DocumentListModel::scheduleDuplicates(RowChange change)
{
    m_rowsMoved = m_rowsMoved || change == RowChange::Moved;
    // Moved rows leave the flags at the wrong rows: they are found again at the next pass of the
    // event loop. Rows added or changed in place only add flags, so a burst of them (an import
    // inspecting thousands of files) is gathered for longer on a long list, where each search
    // costs more: up to a quarter of a second at 25,000 rows.
    const int gather = change == RowChange::Moved
                           ? 0
                           : int(std::min<qsizetype>(250, m_list->records().size() / 100));
    if (!m_duplicatesTimer.isActive() || gather < m_duplicatesTimer.interval())
        m_duplicatesTimer.start(gather);
}

void DocumentListModel::addImportRoots(const QList<QByteArray>& selection)
{
    m_roots.add(selection);
}

int DocumentListModel::duplicateOf(int row) const
{
    if (row < 0 || row >= m_firstOfContent.size())
        return -1;
    const int first = m_firstOfContent.at(row);
    return first == row ? -1 : first;
}

// Groups the rows by their SHA-256 and announces the rows whose flag changed: all of them when
// rows moved since the last time, since a row's old flag is then no longer at its index.
void DocumentListModel::findDuplicates()
{
    m_duplicatesTimer.stop();
    const QList<DocumentRecord>& records = m_list->records();
    QList<int> firsts(records.size());
    QHash<QByteArray, int> seen;
    seen.reserve(records.size());
    int count = 0;
    for (int row = 0; row < records.size(); ++row) {
        const DocumentRecord& r = records.at(row);
        firsts[row] = row;
        if (r.sha256.isEmpty())
            continue;
        const auto at = seen.constFind(r.sha256);
        if (at == seen.constEnd()) {
            seen.insert(r.sha256, row);
        } else {
            firsts[row] = *at;
            if (r.decision != Ignored)
                ++count;
        }
    }
    m_firstOfContent = firsts;
    QList<QString> flags(records.size());
    for (int row = 0; row < records.size(); ++row)
        if (firsts.at(row) != row)
            flags[row] = records.at(firsts.at(row)).fileName;
    if (m_rowsMoved && !records.isEmpty()) {
        emit dataChanged(index(0), index(int(records.size()) - 1), {DuplicateOfRole});
    } else {
        for (int row = 0; row < flags.size(); ++row) {
            const QString before =
                row < m_duplicateFlags.size() ? m_duplicateFlags.at(row) : QString();
            if (flags.at(row) != before)
                emit dataChanged(index(row), index(row), {DuplicateOfRole});
        }
    }
    m_rowsMoved = false;
    m_duplicateFlags = std::move(flags);
    if (count != m_duplicateCount) {
        m_duplicateCount = count;
        emit duplicateCountChanged();
    }
}

// Each new document keeps the folder of the import that brought it, whatever is imported later.
void DocumentListModel::noteFolders(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        if (const DocumentRecord* r = m_list->recordAt(row)) {
            const QByteArray path = sourcePathBytesOf(*r);
            m_folders.insert(path, m_roots.folderOf(path));
        }
    }
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
    case FolderRole: {
        const QByteArray path = sourcePathBytesOf(r);
        const auto known = m_folders.constFind(path);
        return known != m_folders.constEnd() ? *known : m_roots.folderOf(path);
    }
    case DuplicateOfRole: {
        const DocumentRecord* first = m_list->recordAt(duplicateOf(index.row()));
        return first ? first->fileName : QString();
    }
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
        {FolderRole, "folder"},
        {DuplicateOfRole, "duplicateOf"},
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
