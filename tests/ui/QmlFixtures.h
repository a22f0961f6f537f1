#pragma once

#include "ui/AppController.h"

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

class QQuickItem;

// What the QML tests need besides the real controller: records in given states without PDF
// work, and real PDF files to import. Known to QML as "fixtures".
class QmlFixtures : public QObject {
    Q_OBJECT

public:
    explicit QmlFixtures(Tessavo::Ui::AppController* controller, QObject* parent = nullptr);

    // Appends a record the way an import would, and announces it.
    Q_INVOKABLE void addDocument(const QString& fileName, int state, const QString& suggestion,
                                 int decision = 0, bool conflict = false);
    // Appends a ready record with this page text, its content its own, classified by the
    // current rules and what was learned, as an import would.
    Q_INVOKABLE void addTextDocument(const QString& fileName, const QString& text);
    // A row's suggestion as the review sees it: "category", "ruleName", "learned".
    Q_INVOKABLE QVariantMap suggestionAt(int row) const;
    // A bundle folder written by the real export: three filed documents about road works
    // (03_Pricing: "rates", "schedule"; 04_Technical: "method statement"), as a URL.
    Q_INVOKABLE QUrl makeBundle();
    // Appends a ready record whose source is a real, sparse file of 2 GiB: its export takes a
    // while.
    Q_INVOKABLE void addLargeDocument(const QString& fileName);
    // Marks a row as changed (1) or missing (2) since import, as a restored session does.
    Q_INVOKABLE void setFileStatus(int row, int fileStatus);
    // Clears the documents, restores the built-in rules, forgets what was learned and checks
    // against the first submission profile again.
    Q_INVOKABLE void reset();
    // A one-page PDF in a private folder, as a URL.
    Q_INVOKABLE QUrl makePdf(const QString& fileName, const QString& text);
    // A fresh private folder "tree" holding top.pdf and the folders alpha (a.pdf, deeper/d.pdf),
    // beta (b.pdf) and empty, as a URL.
    Q_INVOKABLE QUrl makeFolderTree();
    // A private folder whose name needs percent-encoding, as a URL.
    Q_INVOKABLE QUrl folderWithSpaces();
    // The content of a local file, as UTF-8 text; empty when it cannot be read.
    Q_INVOKABLE QString readText(const QUrl& fileUrl) const;
    // Drags the URLs onto the item's window, at a point given in the item's coordinates, and
    // drops them there, as a file manager does.
    Q_INVOKABLE void dropUrls(QQuickItem* item, qreal x, qreal y, const QList<QUrl>& urls);
    // Delivers a result map as a finished export would; lastExport changes when "ok" is true.
    Q_INVOKABLE void setLastExport(const QVariantMap& result);
    // A byte-identical copy of a local file in a folder of the given name, as a URL.
    Q_INVOKABLE QUrl copyOf(const QUrl& fileUrl, const QString& folderName);
    // What the item shows, as the window draws it: the count of pixels darker than paper, and a
    // digest that tells two pictures apart.
    Q_INVOKABLE int inkPixels(QQuickItem* item) const;
    Q_INVOKABLE QString pictureDigest(QQuickItem* item) const;
    // What a screen reader is told about the item: "name", "description", "role" and
    // "disabled".
    Q_INVOKABLE QVariantMap accessibleState(QQuickItem* item) const;
    // The URLs the controller was asked to open with the desktop's applications, oldest first;
    // nothing is launched.
    Q_INVOKABLE QList<QUrl> openedUrls() const { return m_opened; }
    void noteOpened(const QUrl& url) { m_opened << url; }

private:
    Tessavo::Ui::AppController* m_controller;
    QTemporaryDir m_dir;
    QList<QUrl> m_opened;
};
