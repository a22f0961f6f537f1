#include "core/PdfInspection.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPdfSelection>
#include <QThread>

namespace Tessavo {

namespace {

void markUnreadable(DocumentRecord& record, const QString& why)
{
    record.state = Unreadable;
    record.errorText = why;
}

void markEncrypted(DocumentRecord& record)
{
    record.state = Encrypted;
    record.errorText = QStringLiteral("PDF is password protected");
}

// Waits, keeping the event loop turning, until the document has settled or the deadline passes.
// Returns true when a password was asked for.
bool waitForDocument(QPdfDocument& document)
{
    bool passwordRequested = false;
    QObject guard;
    QObject::connect(&document, &QPdfDocument::passwordRequired, &guard,
                     [&passwordRequested] { passwordRequested = true; });
    const QDeadlineTimer deadline(pdfOpenTimeoutMs, Qt::CoarseTimer);
    auto settled = [&document] {
        const QPdfDocument::Status status = document.status();
        return status == QPdfDocument::Status::Ready || status == QPdfDocument::Status::Error;
    };
    while (!settled()) {
        if (deadline.hasExpired() || passwordRequested)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!settled())
            QThread::msleep(2);
    }
    QObject::disconnect(&document, nullptr, &guard, nullptr);
    return passwordRequested;
}

} // namespace

bool hashFile(const QString& path, QByteArray* digest, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open file: %1").arg(file.errorString());
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("cannot read file: %1").arg(file.errorString());
        return false;
    }
    if (digest)
        *digest = hash.result().toHex();
    return true;
}

void applyPdfError(QPdfDocument::Error error, DocumentRecord& record)
{
    switch (error) {
    case QPdfDocument::Error::None:
        markUnreadable(record, QStringLiteral("PDF could not be loaded"));
        break;
    case QPdfDocument::Error::DataNotYetAvailable:
        markUnreadable(record, QStringLiteral("document data is not available"));
        break;
    case QPdfDocument::Error::FileNotFound:
        markUnreadable(record, QStringLiteral("file not found"));
        break;
    case QPdfDocument::Error::InvalidFileFormat:
        markUnreadable(record, QStringLiteral("not a valid PDF"));
        break;
    case QPdfDocument::Error::IncorrectPassword:
    case QPdfDocument::Error::UnsupportedSecurityScheme:
        markEncrypted(record);
        break;
    case QPdfDocument::Error::Unknown:
    default:
        markUnreadable(record, QStringLiteral("unknown PDF error"));
        break;
    }
}

DocumentRecord inspectPdf(const QString& path)
{
    DocumentRecord record;
    record.sourcePath = path;
    const QFileInfo info(path);
    record.fileName = info.fileName();
    if (!info.exists() || !info.isFile()) {
        markUnreadable(record, QStringLiteral("file not found"));
        return record;
    }
    record.sizeBytes = info.size();

    QString hashError;
    if (!hashFile(path, &record.sha256, &hashError)) {
        markUnreadable(record, hashError);
        return record;
    }

    QPdfDocument document;
    const QPdfDocument::Error loadError = document.load(path);
    if (loadError != QPdfDocument::Error::None) {
        applyPdfError(loadError, record);
        return record;
    }
    const bool passwordRequested = waitForDocument(document);
    if (passwordRequested) {
        markEncrypted(record);
        return record;
    }
    switch (document.status()) {
    case QPdfDocument::Status::Ready:
        break;
    case QPdfDocument::Status::Error:
        applyPdfError(document.error(), record);
        return record;
    default:
        markUnreadable(record, QStringLiteral("timed out while opening the PDF"));
        return record;
    }

    record.pages = document.pageCount();
    if (record.pages <= 0) {
        markUnreadable(record, QStringLiteral("PDF contains no pages"));
        return record;
    }
    record.title = document.metaData(QPdfDocument::MetaDataField::Title).toString();

    record.pageTexts.reserve(record.pages);
    for (int i = 0; i < record.pages; ++i) {
        const QString text = document.getAllText(i).text();
        record.pageTexts.append({i, int(text.size()), text});
        record.textChars += text.size();
        if (!text.trimmed().isEmpty())
            ++record.textPages;
    }
    record.state = record.textPages == 0 ? NeedsOcr : Ready;
    return record;
}

} // namespace Tessavo
