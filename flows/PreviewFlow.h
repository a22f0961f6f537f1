#pragma once

#include "core/DocumentRecord.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <list>
#include <memory>
#include <optional>

namespace Tessavo::Inspection {
class WorkerPool;
}

namespace Tessavo::Flows {

class DocumentList;
class RuleBook;

// The preview beside the review list: one page of the followed document, drawn by an inspection
// worker (the PDF engine never opens a user's file in this process), with the places where its
// suggestion's terms appear. Following a document shows its evidence page, or its first page when
// the suggestion names none. Drawn pages are kept in a cache bounded by count and by bytes,
// the longest unused going first. One request is in flight at a time: the latest wish is asked for
// once it is done, and what arrives meanwhile is kept in the cache.
class PreviewFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(int row READ row NOTIFY documentChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY documentChanged)
    Q_PROPERTY(QString sourcePath READ sourcePath NOTIFY documentChanged)
    Q_PROPERTY(int page READ page NOTIFY pageChanged)
    Q_PROPERTY(int pageCount READ pageCount NOTIFY documentChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString message READ message NOTIFY imageChanged)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY imageChanged)
    Q_PROPERTY(int highlightCount READ highlightCount NOTIFY imageChanged)

public:
    struct Options {
        Inspection::WorkerPool* pool = nullptr; // the application's shared pool when null
        int cacheImages = 16;
        qint64 cacheBytes = qint64(96) << 20;
        int pageTimeoutMs = 15000;
        // Opens a file or folder for the user; nothing is opened when empty.
        std::function<bool(const QUrl&)> openUrl;
    };

    PreviewFlow(const DocumentList& documents, const RuleBook& rules, Options options,
                QObject* parent = nullptr);
    ~PreviewFlow() override;

    int row() const { return m_row; }
    QString fileName() const;
    QString sourcePath() const;
    int page() const { return m_page; }
    int pageCount() const;
    bool busy() const { return m_busy; }
    // Why there is no page to show: the file did not open, the engine failed; empty otherwise.
    QString message() const { return m_message; }
    bool hasImage() const { return !m_image.isNull(); }
    // The page as drawn, and where the terms are on it (in the image's pixels).
    const QImage& image() const { return m_image; }
    const QList<QRect>& highlights() const { return m_highlights; }
    int highlightCount() const { return int(m_highlights.size()); }

    // Follows the document of this row (-1: none) from its evidence page.
    Q_INVOKABLE void show(int row);
    Q_INVOKABLE void nextPage();
    Q_INVOKABLE void previousPage();
    // The width in pixels the page is drawn at; the preview asks again when it is resized.
    Q_INVOKABLE void setPageWidth(int pixels);
    int pageWidth() const { return m_width; }
    // The file in the desktop's viewer, or the folder that holds it.
    Q_INVOKABLE void openDocument(int row);
    Q_INVOKABLE void showInFolder(int row);

    // Images and bytes the cache holds now.
    int cachedImages() const { return int(m_cache.size()); }
    qint64 cachedBytes() const { return m_cachedBytes; }

signals:
    void documentChanged();
    void pageChanged();
    void busyChanged();
    void imageChanged();
    // A text for the footer's status line.
    void status(const QString& text);

private:
    class Client;
    friend class Client;

    // What one request draws; two wishes with equal keys draw the same image.
    struct Wish {
        QByteArray path;
        int page = 0;
        int width = 0;
        QStringList terms;
        bool operator==(const Wish&) const = default;
    };
    struct Entry {
        Wish wish;
        QImage image;
        QList<QRect> highlights;
    };

    const DocumentRecord* record() const;
    QStringList termsOf(const DocumentRecord& record) const;
    void refresh();
    void request();
    void setBusy(bool busy);
    void display(const Entry& entry);
    void displayMessage(const QString& text);
    void remember(Entry entry);
    const Entry* cached(const Wish& wish);
    void onListChanged();
    void onRendered(const Wish& wish, const QImage& image, const QList<QRect>& highlights,
                    const QString& error);
    void onFinished();
    void onFailed(const Wish& wish, const QString& error);

    const DocumentList& m_documents;
    const RuleBook& m_rules;
    Options m_options;
    Inspection::WorkerPool* m_pool = nullptr;
    std::unique_ptr<Client> m_client;
    int m_row = -1;
    QByteArray m_path; // of the followed document
    int m_page = 0;
    int m_width = 800;
    bool m_busy = false;
    QString m_message;
    QImage m_image;
    QList<QRect> m_highlights;
    std::optional<Wish> m_wanted;   // the page to show, not drawn yet
    std::optional<Wish> m_inFlight; // the page being drawn
    quint64 m_job = 0;
    std::list<Entry> m_cache; // most recently used first
    qint64 m_cachedBytes = 0;
    QHash<QByteArray, quint64> m_fileIds;
};

} // namespace Tessavo::Flows
