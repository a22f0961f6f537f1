#include "ui/ReviewListModel.h"

#include <algorithm>

namespace Tessavo::Ui {

ReviewListModel::ReviewListModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
    // Names as people read them: in the user's language, case aside, and numbers by their value,
    // so "Lot 9" comes before "Lot 10". The C locale compares code points alone; English it is
    // then.
    if (QLocale().language() == QLocale::C)
        m_collator.setLocale(QLocale(QLocale::English));
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto counted = [this] {
        emit countChanged();
    };
    connect(this, &QAbstractItemModel::rowsInserted, this, counted);
    connect(this, &QAbstractItemModel::rowsRemoved, this, counted);
    connect(this, &QAbstractItemModel::modelReset, this, counted);
    connect(this, &QAbstractItemModel::layoutChanged, this, counted);
    // What is shown of the selection changes with the rows shown.
    connect(this, &ReviewListModel::countChanged, this, &ReviewListModel::selectionChanged);
}

void ReviewListModel::setDocuments(DocumentListModel* documents)
{
    if (m_documents == documents)
        return;
    if (m_documents)
        disconnect(m_documents, nullptr, this, nullptr);
    forgetRows();
    m_documents = documents;
    if (documents) {
        // Before the proxy takes the change over, so the keys it filters on are current.
        connect(documents, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first) {
                    if (first < m_searchKeys.size())
                        forgetRows();
                });
        connect(documents, &QAbstractItemModel::rowsRemoved, this, &ReviewListModel::forgetRows);
        connect(documents, &QAbstractItemModel::rowsMoved, this, &ReviewListModel::forgetRows);
        connect(documents, &QAbstractItemModel::modelReset, this, &ReviewListModel::forgetRows);
    }
    setSourceModel(documents);
    if (m_sortKey != ImportOrder)
        sort(0);
    emit documentsChanged();
    emit countChanged();
}

void ReviewListModel::forgetRows()
{
    m_searchKeys.clear();
    m_anchor = -1;
    if (!m_selected.isEmpty()) {
        m_selected.clear();
        emit selectionChanged();
    }
}

void ReviewListModel::setShow(int show)
{
    if (show < All || show > Learned || show == m_show)
        return;
    m_show = show;
    refilter();
}

void ReviewListModel::setCategory(const QString& category)
{
    if (category == m_category)
        return;
    m_category = category;
    refilter();
}

void ReviewListModel::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    const QString next = folded(text.trimmed());
    if (next == m_foldedSearch) {
        emit filterChanged();
        return;
    }
    m_foldedSearch = next;
    refilter();
}

void ReviewListModel::refilter()
{
    invalidateFilter();
    emit filterChanged();
    emit countChanged();
}

void ReviewListModel::setSortKey(int key)
{
    if (key < ImportOrder || key > BySize || key == m_sortKey)
        return;
    m_sortKey = key;
    if (key == ImportOrder) {
        sort(-1); // back to the shared list's order
    } else {
        invalidate();
        sort(0);
    }
    emit sortKeyChanged();
}

void ReviewListModel::showOnly(const QStringList& paths, const QString& reason)
{
    if (reason.isEmpty() && m_onlyReason.isEmpty())
        return;
    m_onlyReason = reason;
    m_onlyPaths = reason.isEmpty() ? QSet<QString>() : QSet<QString>(paths.begin(), paths.end());
    refilter();
}

bool ReviewListModel::filtered() const
{
    return m_show != All || !m_category.isEmpty() || !m_foldedSearch.isEmpty() ||
           !m_onlyReason.isEmpty();
}

int ReviewListModel::totalCount() const
{
    return m_documents ? m_documents->rowCount() : 0;
}

QString ReviewListModel::folded(const QString& text)
{
    // Most names are plain ASCII: nothing to take apart.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out.append(c);
    return out.toCaseFolded();
}

const QString& ReviewListModel::searchKeyOf(int sourceRow) const
{
    // Names never change in place: a key once made holds until rows move.
    if (m_searchKeys.size() <= sourceRow) {
        const int first = int(m_searchKeys.size());
        m_searchKeys.resize(sourceRow + 1);
        for (int row = first; row <= sourceRow; ++row) {
            const QModelIndex at = m_documents->index(row);
            m_searchKeys[row] =
                folded(at.data(DocumentListModel::FileNameRole).toString() + QLatin1Char('\n') +
                       at.data(DocumentListModel::FolderRole).toString());
        }
    }
    return m_searchKeys.at(sourceRow);
}

bool ReviewListModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const DocumentRecord* r = m_documents ? m_documents->recordAt(sourceRow) : nullptr;
    if (!r)
        return false;
    switch (m_show) {
    case Undecided:
        if (r->decision != NeedsReview)
            return false;
        break;
    case Conflicts:
        if (!r->suggestion.conflict)
            return false;
        break;
    case AcceptedOnly:
        if (r->decision != Accepted)
            return false;
        break;
    case ChangedOnly:
        if (r->decision != Changed)
            return false;
        break;
    case IgnoredOnly:
        if (r->decision != Ignored)
            return false;
        break;
    case Learned:
        if (!r->suggestion.learned || r->suggestion.isEmpty())
            return false;
        break;
    default:
        break;
    }
    if (!m_category.isEmpty() && displayCategory(*r) != m_category)
        return false;
    if (!m_onlyReason.isEmpty() && !m_onlyPaths.contains(r->sourcePath))
        return false;
    return m_foldedSearch.isEmpty() || searchKeyOf(sourceRow).contains(m_foldedSearch);
}

bool ReviewListModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const DocumentRecord* a = m_documents ? m_documents->recordAt(left.row()) : nullptr;
    const DocumentRecord* b = m_documents ? m_documents->recordAt(right.row()) : nullptr;
    if (!a || !b)
        return left.row() < right.row();
    int order = 0;
    switch (m_sortKey) {
    case ByName:
        order = m_collator.compare(a->fileName, b->fileName);
        break;
    case ByFolder:
        order = m_collator.compare(left.data(DocumentListModel::FolderRole).toString(),
                                   right.data(DocumentListModel::FolderRole).toString());
        if (order == 0)
            order = m_collator.compare(a->fileName, b->fileName);
        break;
    case ByCategory: {
        // Documents without a category come last.
        const QString ca = displayCategory(*a);
        const QString cb = displayCategory(*b);
        if (ca.isEmpty() != cb.isEmpty())
            return cb.isEmpty();
        order = m_collator.compare(ca, cb);
        if (order == 0)
            order = m_collator.compare(a->fileName, b->fileName);
        break;
    }
    case ByPages:
        order = a->pages < b->pages ? -1 : (a->pages > b->pages ? 1 : 0);
        break;
    case BySize:
        order = a->sizeBytes < b->sizeBytes ? -1 : (a->sizeBytes > b->sizeBytes ? 1 : 0);
        break;
    default:
        break;
    }
    // Equal keys keep the import order.
    return order != 0 ? order < 0 : left.row() < right.row();
}

int ReviewListModel::documentRow(int row) const
{
    const QModelIndex at = mapToSource(index(row, 0));
    return at.isValid() ? at.row() : -1;
}

int ReviewListModel::rowOf(int documentRow) const
{
    if (!m_documents || documentRow < 0 || documentRow >= m_documents->rowCount())
        return -1;
    const QModelIndex at = mapFromSource(m_documents->index(documentRow));
    return at.isValid() ? at.row() : -1;
}

QList<int> ReviewListModel::shownDocuments() const
{
    QList<int> rows;
    const int n = rowCount();
    rows.reserve(n);
    for (int row = 0; row < n; ++row)
        rows.append(documentRow(row));
    return rows;
}

void ReviewListModel::setSelection(const QSet<int>& rows)
{
    if (rows == m_selected)
        return;
    QSet<int> touched = m_selected;
    touched.unite(rows);
    for (const int r : rows)
        if (m_selected.contains(r))
            touched.remove(r);
    m_selected = rows;
    for (const int documentRow : std::as_const(touched)) {
        const int row = rowOf(documentRow);
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, 0), {SelectedRole});
    }
    emit selectionChanged();
}

void ReviewListModel::select(int row, int mode)
{
    const int target = documentRow(row);
    if (target < 0)
        return;
    if (mode == Toggle) {
        QSet<int> next = m_selected;
        if (!next.remove(target))
            next.insert(target);
        m_anchor = target;
        setSelection(next);
        return;
    }
    const int anchorRow = mode == Extend ? rowOf(m_anchor) : -1;
    if (anchorRow < 0) {
        m_anchor = target;
        setSelection({target});
        return;
    }
    QSet<int> next;
    for (int r = std::min(anchorRow, row); r <= std::max(anchorRow, row); ++r)
        next.insert(documentRow(r));
    setSelection(next);
}

void ReviewListModel::selectAll()
{
    const QList<int> shown = shownDocuments();
    setSelection(QSet<int>(shown.cbegin(), shown.cend()));
}

void ReviewListModel::clearSelection()
{
    m_anchor = -1;
    setSelection({});
}

bool ReviewListModel::isSelected(int row) const
{
    return m_selected.contains(documentRow(row));
}

QList<int> ReviewListModel::selectedDocuments() const
{
    QList<int> rows;
    if (m_selected.isEmpty())
        return rows;
    const int n = rowCount();
    for (int row = 0; row < n; ++row) {
        const int documentRow = this->documentRow(row);
        if (m_selected.contains(documentRow))
            rows.append(documentRow);
    }
    return rows;
}

int ReviewListModel::selectedCount() const
{
    int n = 0;
    for (const int documentRow : m_selected)
        if (rowOf(documentRow) >= 0)
            ++n;
    return n;
}

QVariant ReviewListModel::data(const QModelIndex& index, int role) const
{
    if (role == SelectedRole)
        return index.isValid() && m_selected.contains(mapToSource(index).row());
    if (role == DocumentRowRole)
        return index.isValid() ? mapToSource(index).row() : -1;
    return QSortFilterProxyModel::data(index, role);
}

QHash<int, QByteArray> ReviewListModel::roleNames() const
{
    QHash<int, QByteArray> names = QSortFilterProxyModel::roleNames();
    names.insert(SelectedRole, "selected");
    names.insert(DocumentRowRole, "documentRow");
    return names;
}

} // namespace Tessavo::Ui
