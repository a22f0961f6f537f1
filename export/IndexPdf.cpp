#include "export/IndexPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace Tessavo {

namespace {

const QString applicationVersion = QStringLiteral("0.2.0");

QMutex familyMutex;
QString registeredFamily; // guarded by familyMutex

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

QString registerIndexFont(const QString& fontPath)
{
    if (fontPath.isEmpty() || !QFileInfo(fontPath).isFile())
        return {};
    const int id = QFontDatabase::addApplicationFont(fontPath);
    if (id < 0)
        return {};
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

QString registerIndexFonts(const QString& regularFontPath, const QString& boldFontPath)
{
    const QString regular = registerIndexFont(regularFontPath);
    const QString bold = registerIndexFont(boldFontPath);
    QMutexLocker lock(&familyMutex);
    registeredFamily = regular.isEmpty() ? bold : regular;
    return registeredFamily;
}

QString indexFontFamily()
{
    QMutexLocker lock(&familyMutex);
    return registeredFamily;
}

QString indexFontFamilyFor(const QString& regularFontPath, const QString& boldFontPath)
{
    const QString remembered = indexFontFamily();
    if (!remembered.isEmpty())
        return remembered;
    const QString regular = registerIndexFont(regularFontPath);
    if (!regular.isEmpty())
        return regular;
    const QString bold = registerIndexFont(boldFontPath);
    return bold.isEmpty() ? QStringLiteral("DejaVu Sans") : bold;
}

QString indexHtml(const QList<DocumentRecord>& records, const QString& subtitle,
                  const QString& fontFamily, const QDateTime& generatedAt)
{
    QMap<QString, QList<const DocumentRecord*>> groups;
    int pageTotal = 0;
    for (const DocumentRecord& r : records) {
        const QString category = displayCategory(r);
        groups[category.isEmpty() ? QStringLiteral("Unclassified") : category].append(&r);
        pageTotal += r.pages;
    }

    QString html;
    html +=
        QStringLiteral("<html><body style=\"font-family:'%1'; font-size:9.5pt; color:#172033;\">")
            .arg(fontFamily.toHtmlEscaped());
    html += QStringLiteral("<h1 style=\"font-size:20pt; margin:0 0 4pt 0;\">");
    html += QStringLiteral("Tessavo — export index</h1>");
    html += QStringLiteral("<p style=\"margin:0 0 2pt 0;\"><b>%1</b></p>")
                .arg(subtitle.toHtmlEscaped());
    html += QStringLiteral(
                "<p style=\"margin:0 0 10pt 0; color:#5a6474;\">Generated %1 · Tessavo %2</p>")
                .arg(generatedAt.toString(Qt::ISODate).left(19).toHtmlEscaped(),
                     applicationVersion.toHtmlEscaped());
    html += QStringLiteral(
                "<p style=\"margin:0 0 12pt 0;\">%1 documents · %2 pages · %3 categories</p>")
                .arg(QString::number(records.size()), QString::number(pageTotal),
                     QString::number(groups.size()));
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        html +=
            QStringLiteral("<h2 style=\"font-size:13pt; margin:14pt 0 4pt 0; color:#28558e;\">%1 "
                           "<span style=\"color:#8992a3; font-size:10pt;\">(%2)</span></h2>")
                .arg(group.key().toHtmlEscaped(), QString::number(group.value().size()));
        for (const DocumentRecord* r : group.value()) {
            html += QStringLiteral("<p style=\"margin:0 0 8pt 0;\"><b>%1</b><br/>")
                        .arg(r->fileName.toHtmlEscaped());
            html += QStringLiteral(
                        "<span style=\"color:#5a6474;\">%1 pages · %2 · %3 · sha256 %4</span>")
                        .arg(QString::number(r->pages), stateText(r->state),
                             decisionText(r->decision), QString::fromLatin1(r->sha256.left(12)));
            if (!r->ruleName.isEmpty())
                html += QStringLiteral("<br/>Rule: %1 — %2")
                            .arg(r->ruleName.toHtmlEscaped(), r->evidence.toHtmlEscaped());
            if (r->conflict)
                html += QStringLiteral("<br/><span style=\"color:#a15c00;\">%1</span>")
                            .arg(r->conflictNote.toHtmlEscaped());
            if (!r->note.isEmpty())
                html += QStringLiteral("<br/>Note: %1").arg(r->note.toHtmlEscaped());
            html += QStringLiteral("</p>");
        }
    }
    html += QStringLiteral(
        "<p style=\"margin-top:16pt; color:#8992a3; font-size:8pt;\">Generated locally by Tessavo. "
        "Source files were read only. Unclassified and Needs review entries require a human "
        "decision.</p></body></html>");
    return html;
}

bool writeIndexPdf(const QString& pdfPath, const QList<DocumentRecord>& records,
                   const QString& subtitle, const QString& regularFontPath,
                   const QString& boldFontPath, QString* error)
{
    if (records.isEmpty())
        return fail(error, QStringLiteral("no documents to index"));

    QString family = indexFontFamily();
    if (family.isEmpty()) {
        const QString regular = registerIndexFont(regularFontPath);
        const QString bold = registerIndexFont(boldFontPath);
        family = !regular.isEmpty() ? regular
                 : !bold.isEmpty()  ? bold
                                    : QStringLiteral("DejaVu Sans");
    }

    QPdfWriter writer(pdfPath);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Tessavo export index"));
    writer.setCreator(QStringLiteral("Tessavo %1").arg(applicationVersion));

    const double resolution = writer.resolution();
    const double margin = resolution * 18.0 / 25.4;
    const double contentWidth = writer.width() - 2 * margin;
    const double contentHeight = writer.height() - 2 * margin;

    QTextDocument document;
    // Point sizes must be converted at the writer's 300 dpi; laid out at screen resolution the
    // text would print at a third of its size.
    document.documentLayout()->setPaintDevice(&writer);
    document.setDocumentMargin(0);
    document.setPageSize(QSizeF(contentWidth, contentHeight));
    document.setHtml(indexHtml(records, subtitle, family, QDateTime::currentDateTime()));

    QPainter painter(&writer);
    if (!painter.isActive())
        return fail(error, QStringLiteral("cannot start PDF painting"));
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < document.pageCount(); ++i) {
        if (i > 0)
            writer.newPage();
        painter.save();
        painter.translate(margin, margin);
        painter.translate(0, -i * contentHeight);
        document.drawContents(&painter, QRectF(0, i * contentHeight, contentWidth, contentHeight));
        painter.restore();
    }
    painter.end();

    const QFileInfo written(pdfPath);
    if (!written.exists() || written.size() < 1)
        return fail(error, QStringLiteral("PDF file was not written"));
    return true;
}

} // namespace Tessavo
