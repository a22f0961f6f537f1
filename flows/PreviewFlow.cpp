// The preview of the followed document: pages drawn by the inspection workers, kept in a small
// cache, and the viewer or folder of the desktop on request.
#include "flows/PreviewFlow.h"

#include "core/RawPath.h"
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/RuleBook.h"
#include "inspection/FailureTexts.h"
#include "inspection/WorkerPool.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Tessavo::Flows {

// The flow's side of the worker pool: answers are handed back with the wish they belong to.
class PreviewFlow::Client : public Inspection::WorkerClient {
public:
    explicit Client(PreviewFlow& flow)
        : m_flow(flow)
    {}

    void jobLoaded(quint64 jobId, const Inspection::LoadedMessage& loaded) override
    {
        if (jobId == m_flow.m_job && !loaded.errorText.isEmpty() && m_flow.m_inFlight)
            m_flow.onFailed(*m_flow.m_inFlight, loaded.errorText);
    }
    void jobPage(quint64 jobId, const Inspection::PageAnswer& page) override
    {
        if (jobId == m_flow.m_job && m_flow.m_inFlight)
            m_flow.onRendered(*m_flow.m_inFlight, page.image, page.highlights, page.errorText);
    }
    void jobDone(quint64 jobId) override
    {
        if (jobId == m_flow.m_job)
            m_flow.onFinished();
    }
    void jobFailed(quint64 jobId, const Inspection::JobFailure& failure) override
    {
        if (jobId != m_flow.m_job || !m_flow.m_inFlight)
            return;
        const Wish wish = *m_flow.m_inFlight;
        m_flow.onFailed(wish, Inspection::FailureText::ofReading(failure));
        m_flow.onFinished();
    }
    void workersAvailable() override { m_flow.request(); }

private:
    PreviewFlow& m_flow;
};

PreviewFlow::PreviewFlow(const DocumentList& documents, const RuleBook& rules, Options options,
                         QObject* parent)
    : QObject(parent)
    , m_documents(documents)
    , m_rules(rules)
    , m_options(std::move(options))
    , m_pool(m_options.pool ? m_options.pool : Inspection::WorkerPool::shared())
    , m_client(std::make_unique<Client>(*this))
{
    m_options.cacheImages = std::max(1, m_options.cacheImages);
    m_pool->attach(m_client.get());
    // The shared pool belongs to the application object, which may go first.
    connect(m_pool, &QObject::destroyed, this, [this] { m_pool = nullptr; });
    connect(&documents, &QAbstractItemModel::modelReset, this, &PreviewFlow::onListChanged);
    connect(&documents, &QAbstractItemModel::rowsRemoved, this, &PreviewFlow::onListChanged);
    connect(&documents, &QAbstractItemModel::rowsInserted, this, &PreviewFlow::onListChanged);
    connect(&documents, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                if (m_row >= first.row() && m_row <= last.row())
                    onListChanged();
            });
}

PreviewFlow::~PreviewFlow()
{
    if (m_pool)
        m_pool->detach(m_client.get());
}

const DocumentRecord* PreviewFlow::record() const
{
    return m_row >= 0 ? m_documents.recordAt(m_row) : nullptr;
}

QString PreviewFlow::fileName() const
{
    const DocumentRecord* r = record();
    return r ? r->fileName : QString();
}

QString PreviewFlow::sourcePath() const
{
    const DocumentRecord* r = record();
    return r ? r->sourcePath : QString();
}

int PreviewFlow::pageCount() const
{
    const DocumentRecord* r = record();
    return r ? r->pages : 0;
}

// The words that made the suggestion: the text conditions of the rule it came from.
QStringList PreviewFlow::termsOf(const DocumentRecord& r) const
{
    QStringList terms;
    if (r.suggestion.isEmpty() || r.suggestion.learned)
        return terms;
    for (const Rule& rule : m_rules.rules()) {
        if (rule.id != r.suggestion.ruleId)
            continue;
        if (!rule.textContains.trimmed().isEmpty())
            terms << rule.textContains.trimmed();
        terms << Tessavo::termsOf(rule.textAnyOf) << Tessavo::termsOf(rule.textAllOf);
        break;
    }
    terms.removeDuplicates();
    return terms;
}

void PreviewFlow::show(int row)
{
    const DocumentRecord* r = row >= 0 ? m_documents.recordAt(row) : nullptr;
    if (!r)
        row = -1;
    const QByteArray path = r ? sourcePathBytesOf(*r) : QByteArray();
    if (row == m_row && path == m_path)
        return;
    m_row = row;
    m_path = path;
    const int evidence = r ? r->suggestion.evidencePage : -1;
    const int page = r && evidence >= 0 && evidence < r->pages ? evidence : 0;
    emit documentChanged();
    if (page != m_page) {
        m_page = page;
        emit pageChanged();
    }
    refresh();
}

void PreviewFlow::nextPage()
{
    if (m_page + 1 >= pageCount())
        return;
    ++m_page;
    emit pageChanged();
    refresh();
}

void PreviewFlow::previousPage()
{
    if (m_page <= 0)
        return;
    --m_page;
    emit pageChanged();
    refresh();
}

void PreviewFlow::setPageWidth(int pixels)
{
    // Drawn in steps of 64 pixels, so that dragging the window's edge does not ask for a page at
    // every pixel; the view scales the nearest step.
    const int width = std::clamp((pixels + 63) / 64 * 64, 64, Inspection::maxRenderWidth);
    if (width == m_width)
        return;
    m_width = width;
    refresh();
}

// Shows the wished page: from the cache, or asked of a worker.
void PreviewFlow::refresh()
{
    const DocumentRecord* r = record();
    if (!r) {
        m_wanted.reset();
        m_image = {};
        m_highlights.clear();
        m_message.clear();
        setBusy(false);
        emit imageChanged();
        return;
    }
    if (r->pages <= 0) {
        // It did not open when it was imported; its reason stands in for the page.
        m_wanted.reset();
        setBusy(false);
        displayMessage(r->errorText.isEmpty() ? tr("This document has no pages to show.")
                                              : r->errorText);
        return;
    }
    Wish wish{m_path, m_page, m_width, termsOf(*r)};
    if (const Entry* entry = cached(wish)) {
        m_wanted.reset();
        setBusy(false);
        display(*entry);
        return;
    }
    m_wanted = wish;
    setBusy(true);
    request();
}

void PreviewFlow::request()
{
    if (!m_wanted || m_inFlight || !m_pool)
        return;
    const Wish wish = *m_wanted;
    quint64& fileId = m_fileIds[wish.path];
    if (fileId == 0)
        fileId = m_pool->newFileId();
    Inspection::RenderRequest request;
    request.page.fileId = fileId;
    request.page.path = wish.path;
    request.page.firstPage = wish.page;
    request.page.pageCount = 1;
    request.width = wish.width;
    request.terms = wish.terms;
    const quint64 job = m_pool->submit(m_client.get(), request, m_options.pageTimeoutMs);
    if (job == 0)
        return; // every worker is busy: asked again when one is free
    m_job = job;
    m_inFlight = wish;
}

void PreviewFlow::onRendered(const Wish& wish, const QImage& image, const QList<QRect>& highlights,
                             const QString& error)
{
    if (image.isNull()) {
        onFailed(wish, error.isEmpty() ? tr("The page could not be drawn.") : error);
        return;
    }
    remember(Entry{wish, image, highlights});
    if (m_wanted && *m_wanted == wish) {
        m_wanted.reset();
        setBusy(false);
        display(m_cache.front());
    }
}

void PreviewFlow::onFailed(const Wish& wish, const QString& error)
{
    if (m_wanted && *m_wanted == wish) {
        m_wanted.reset();
        setBusy(false);
        displayMessage(error);
    }
}

void PreviewFlow::onFinished()
{
    m_job = 0;
    m_inFlight.reset();
    request();
}

void PreviewFlow::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged();
}

void PreviewFlow::display(const Entry& entry)
{
    m_image = entry.image;
    m_highlights = entry.highlights;
    m_message.clear();
    emit imageChanged();
}

void PreviewFlow::displayMessage(const QString& text)
{
    m_image = {};
    m_highlights.clear();
    m_message = text;
    emit imageChanged();
}

void PreviewFlow::remember(Entry entry)
{
    const auto same = std::find_if(m_cache.begin(), m_cache.end(),
                                   [&entry](const Entry& e) { return e.wish == entry.wish; });
    if (same != m_cache.end()) {
        m_cachedBytes -= same->image.sizeInBytes();
        m_cache.erase(same);
    }
    m_cachedBytes += entry.image.sizeInBytes();
    m_cache.push_front(std::move(entry));
    // The newest image stays even when it alone passes the byte bound.
    while (m_cache.size() > 1 &&
           (int(m_cache.size()) > m_options.cacheImages || m_cachedBytes > m_options.cacheBytes)) {
        m_cachedBytes -= m_cache.back().image.sizeInBytes();
        m_cache.pop_back();
    }
}

const PreviewFlow::Entry* PreviewFlow::cached(const Wish& wish)
{
    const auto found = std::find_if(m_cache.begin(), m_cache.end(),
                                    [&wish](const Entry& e) { return e.wish == wish; });
    if (found == m_cache.end())
        return nullptr;
    m_cache.splice(m_cache.begin(), m_cache, found);
    return &m_cache.front();
}

// Rows come and go, records change: the preview follows the same file where it still is.
void PreviewFlow::onListChanged()
{
    const DocumentRecord* r = record();
    if (r && sourcePathBytesOf(*r) == m_path) {
        if (m_page >= r->pages && r->pages > 0) {
            m_page = r->pages - 1;
            emit pageChanged();
        }
        emit documentChanged();
        refresh();
        return;
    }
    // The document moved: look for it (only when one is shown, so an import costs nothing).
    const QList<DocumentRecord>& records = m_documents.records();
    const auto at = m_path.isEmpty() ? records.end()
                                     : std::find_if(records.begin(), records.end(),
                                                    [this](const DocumentRecord& d) {
                                                        return sourcePathBytesOf(d) == m_path;
                                                    });
    if (at != records.end()) {
        m_row = int(at - records.begin());
        emit documentChanged();
        refresh();
        return;
    }
    if (m_row != -1) {
        m_row = -1;
        m_path.clear();
        emit documentChanged();
        refresh();
    }
}

void PreviewFlow::openDocument(int row)
{
    const DocumentRecord* r = m_documents.recordAt(row);
    if (!r || !m_options.openUrl)
        return;
    const QString path = QFile::decodeName(sourcePathBytesOf(*r));
    if (!m_options.openUrl(QUrl::fromLocalFile(path)))
        emit status(tr("No application could open %1.").arg(r->fileName));
}

void PreviewFlow::showInFolder(int row)
{
    const DocumentRecord* r = m_documents.recordAt(row);
    if (!r || !m_options.openUrl)
        return;
    const QString folder = QFileInfo(QFile::decodeName(sourcePathBytesOf(*r))).absolutePath();
    if (!m_options.openUrl(QUrl::fromLocalFile(folder)))
        emit status(tr("No application could show the folder of %1.").arg(r->fileName));
}

} // namespace Tessavo::Flows
