#include "QmlFixtures.h"

#include "bundle/ExportBundle.h"
#include "core/Rule.h"
#include "flows/ExportFlow.h"
#include "support/PdfFixtures.h"
#include "support/TestFiles.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QQuickItem>
#include <QQuickWindow>

using namespace Tessavo;

QmlFixtures::QmlFixtures(Ui::AppController* controller, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
{}

void QmlFixtures::addDocument(const QString& fileName, int state, const QString& suggestion,
                              int decision, bool conflict)
{
    DocumentRecord r;
    r.fileName = fileName;
    r.sourcePath = m_dir.filePath(fileName);
    r.state = DocumentState(state);
    r.pages = state == Ready || state == NeedsOcr ? 2 : 0;
    if (state == Unreadable)
        r.errorText = QStringLiteral("not a PDF file");
    else if (state == Encrypted)
        r.errorText = QStringLiteral("the PDF needs a password");
    r.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    r.sizeBytes = 4096;
    r.suggestion.category = suggestion;
    if (!suggestion.isEmpty()) {
        r.suggestion.ruleName = QStringLiteral("Bid bond");
        r.suggestion.evidence = QStringLiteral("text contains \"bid bond\" on page 1");
    }
    r.decision = Decision(decision);
    r.finalCategory = decision == Accepted ? suggestion : QString();
    r.suggestion.conflict = conflict;
    if (conflict)
        r.suggestion.conflictNote = QStringLiteral(
            "Conflicting categories: 02_Forms (Bid bond), 03_Pricing (Pricing schedule)");
    m_controller->documentList()->appendRecord(r);
    emit m_controller->summaryChanged();
}

void QmlFixtures::addTextDocument(const QString& fileName, const QString& text)
{
    DocumentRecord r;
    r.fileName = fileName;
    r.sourcePath = m_dir.filePath(fileName);
    r.state = Ready;
    r.pages = r.textPages = 1;
    r.pageTexts = {{0, int(text.size()), text, false}};
    r.textChars = text.size();
    r.sizeBytes = 4096;
    r.sha256 =
        QCryptographicHash::hash((fileName + u'\n' + text).toUtf8(), QCryptographicHash::Sha256)
            .toHex();
    r.suggestion = m_controller->ruleBook()->suggest(r);
    m_controller->documentList()->appendRecord(r);
    emit m_controller->summaryChanged();
}

QVariantMap QmlFixtures::suggestionAt(int row) const
{
    const DocumentRecord* r = m_controller->documentList()->recordAt(row);
    if (!r)
        return {};
    return {{QStringLiteral("category"), r->suggestion.category},
            {QStringLiteral("ruleName"), r->suggestion.ruleName},
            {QStringLiteral("learned"), r->suggestion.learned}};
}

QUrl QmlFixtures::makeBundle()
{
    const QString sources = m_dir.filePath(QStringLiteral("past"));
    QDir(sources).removeRecursively();
    QDir().mkpath(sources);
    const QList<std::pair<QString, QString>> filed = {
        {QStringLiteral("Schedule of rates.pdf"),
         QStringLiteral("Schedule of rates for road maintenance. Unit rates per square metre of "
                        "resurfacing, rates for kerbs and drainage, schedule totals.")},
        {QStringLiteral("Priced schedule.pdf"),
         QStringLiteral("Priced schedule of rates: resurfacing rates, drainage rates, schedule "
                        "of daywork rates and totals for road maintenance.")},
        {QStringLiteral("Method statement.pdf"),
         QStringLiteral("Method statement for resurfacing: traffic management, sequence of "
                        "works, plant and crew, method of compaction.")}};
    QList<DocumentRecord> records;
    for (const auto& [name, text] : filed) {
        DocumentRecord r;
        r.sourcePath = QDir(sources).filePath(name);
        PdfFixtures::writeTextPdf(r.sourcePath, {text});
        r.fileName = name;
        r.sizeBytes = QFileInfo(r.sourcePath).size();
        r.sha256 =
            QCryptographicHash::hash(TestFiles::readBytes(r.sourcePath), QCryptographicHash::Sha256)
                .toHex();
        r.state = Ready;
        r.pages = r.textPages = 1;
        r.decision = Changed;
        r.finalCategory = name.startsWith(QLatin1String("Method")) ? QStringLiteral("04_Technical")
                                                                   : QStringLiteral("03_Pricing");
        records.append(r);
    }
    const QString out = m_dir.filePath(QStringLiteral("bundles"));
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const ExportResult result =
        buildExportBundle(records, {out, QStringLiteral("Past"), {}, {}, true});
    return result.ok ? QUrl::fromLocalFile(result.directory) : QUrl();
}

void QmlFixtures::addLargeDocument(const QString& fileName)
{
    addDocument(fileName, Ready, QStringLiteral("02_Forms"), Accepted);
    QFile file(m_dir.filePath(fileName));
    if (file.open(QIODevice::WriteOnly))
        file.resize(qint64(2) << 30);
    // What an inspection of that file would have found, so that its copy is not left out.
    const int row = m_controller->documents()->rowCount() - 1;
    m_controller->documentList()->update(row, [](DocumentRecord& r) {
        r.sizeBytes = qint64(2) << 30;
        r.sha256.clear();
        return true;
    });
}

void QmlFixtures::setFileStatus(int row, int fileStatus)
{
    m_controller->documentList()->update(row, [fileStatus](DocumentRecord& r) {
        r.fileStatus = FileStatus(fileStatus);
        return true;
    });
}

void QmlFixtures::reset()
{
    m_controller->clearDocuments();
    m_controller->ruleBook()->list()->setRules(defaultRules());
    m_controller->ruleBook()->forgetLearned();
    m_controller->readiness()->setProfileIndex(0);
    m_controller->readiness()->setFitNames(false);
}

QUrl QmlFixtures::makePdf(const QString& fileName, const QString& text)
{
    const QString path = m_dir.filePath(fileName);
    PdfFixtures::writeTextPdf(path, {text});
    return QUrl::fromLocalFile(path);
}

QUrl QmlFixtures::copyOf(const QUrl& fileUrl, const QString& folderName)
{
    const QString source = fileUrl.toLocalFile();
    const QString target =
        m_dir.filePath(folderName) + QLatin1Char('/') + QFileInfo(source).fileName();
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    QFile::copy(source, target);
    return QUrl::fromLocalFile(target);
}

namespace {

QImage pictureOf(QQuickItem* item)
{
    if (!item || !item->window())
        return {};
    const QImage window = item->window()->grabWindow();
    const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    const qreal ratio = window.devicePixelRatio();
    return window.copy(QRectF(area.topLeft() * ratio, area.size() * ratio).toRect());
}

} // namespace

int QmlFixtures::inkPixels(QQuickItem* item) const
{
    const QImage picture = pictureOf(item);
    int ink = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ink += qGray(picture.pixel(x, y)) < 160 ? 1 : 0;
    return ink;
}

QString QmlFixtures::pictureDigest(QQuickItem* item) const
{
    const QImage picture = pictureOf(item).convertToFormat(QImage::Format_RGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < picture.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(picture.constScanLine(y)),
                                    qsizetype(picture.width()) * 4));
    return QString::fromLatin1(hash.result().toHex());
}

QUrl QmlFixtures::makeFolderTree()
{
    QDir root(m_dir.filePath(QStringLiteral("tree")));
    root.removeRecursively();
    for (const char* folder : {"alpha/deeper", "beta", "empty"})
        root.mkpath(QString::fromLatin1(folder));
    // One file copied three times: the writer stamps the time, so files written one after the
    // other can differ in their bytes when a second turns over between them.
    const QString top = root.filePath(QStringLiteral("top.pdf"));
    PdfFixtures::writeTextPdf(top, {QStringLiteral("bid bond")});
    for (const char* file : {"alpha/a.pdf", "alpha/deeper/d.pdf", "beta/b.pdf"})
        QFile::copy(top, root.filePath(QString::fromLatin1(file)));
    return QUrl::fromLocalFile(root.absolutePath());
}

QUrl QmlFixtures::folderWithSpaces()
{
    const QString path = m_dir.filePath(QStringLiteral("Bid package 2026"));
    QDir().mkpath(path);
    return QUrl::fromLocalFile(path);
}

QString QmlFixtures::readText(const QUrl& fileUrl) const
{
    QFile file(fileUrl.toLocalFile());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void QmlFixtures::setLastExport(const QVariantMap& map)
{
    Flows::ExportOutcome outcome;
    ExportResult& result = outcome.result;
    result.ok = map.value("ok").toBool();
    result.error = map.value("error").toString();
    result.directory = map.value("directory").toString();
    result.csv = map.value("csv").toString();
    result.pdf = map.value("pdf").toString();
    result.zip = map.value("zip").toString();
    result.volumes = map.value("volumes").toStringList();
    result.exported = map.value("exported").toInt();
    result.skipped = map.value("skipped").toInt();
    for (const QString& text : map.value("warnings").toStringList())
        result.warnings.append({ExportWarning::Kind::CopyFailed, text});
    outcome.kind =
        result.ok ? Flows::ExportOutcome::Kind::Written : Flows::ExportOutcome::Kind::Failed;
    outcome.error = result.error;
    // From the event loop, as a real export's end arrives.
    Flows::ExportFlow* service = m_controller->exporter();
    QMetaObject::invokeMethod(
        service, [service, outcome] { emit service->finished(outcome); }, Qt::QueuedConnection);
}

void QmlFixtures::dropUrls(QQuickItem* item, qreal x, qreal y, const QList<QUrl>& urls)
{
    QQuickWindow* window = item ? item->window() : nullptr;
    if (!window)
        return;
    const QPointF at = item->mapToScene(QPointF(x, y));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

QVariantMap QmlFixtures::accessibleState(QQuickItem* item) const
{
    QAccessibleInterface* a = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
    if (!a)
        return {};
    return {{QStringLiteral("name"), a->text(QAccessible::Name)},
            {QStringLiteral("description"), a->text(QAccessible::Description)},
            {QStringLiteral("role"), int(a->role())},
            {QStringLiteral("disabled"), bool(a->state().disabled)}};
}
