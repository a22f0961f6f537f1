#include "support/PdfFixtures.h"

#include <QDir>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>

namespace PdfFixtures {

bool writeTextPdf(const QString& path, const QStringList& pageTexts, const QString& title)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    if (!title.isEmpty())
        writer.setTitle(title);
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    painter.setFont(font);
    for (qsizetype i = 0; i < pageTexts.size(); ++i) {
        if (i > 0)
            writer.newPage();
        painter.drawText(QRect(40, 40, 500, 740), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         pageTexts.at(i));
    }
    return painter.end();
}

bool writeImageOnlyPdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    QImage image(200, 100, QImage::Format_RGB32);
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        image.fill(QColor::fromHsv((i * 40) % 360, 120, 200));
        painter.drawImage(QRect(40, 40, 400, 200), image);
    }
    return painter.end();
}

QByteArray assemblePdf(const QList<QByteArray>& objects)
{
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray whitespaceOnlyPdf(int pages)
{
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (     ) Tj ET";
    QByteArray kids;
    QList<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                 {},
                                 "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                 "<< /Length " + QByteArray::number(content.size()) +
                                     " >>\nstream\n" + content + "\nendstream"};
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(objects.size() + 1) + " 0 R ";
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                       "/Resources << /Font << /F1 3 0 R >> >> >>");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    return assemblePdf(objects);
}

QByteArray selfReferencingPageTreePdf()
{
    return assemblePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                        "<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 2 >>",
                        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"});
}

bool writeEveryKind(const QString& folder)
{
    const auto at = [&folder](const char* name) {
        return folder + u'/' + QLatin1String(name);
    };
    if (!writeTextPdf(at("text.pdf"),
                      {"Page one\nRequest for Proposals", "Page two", "Page three\nbid bond"},
                      "Tender RFP") ||
        !writeImageOnlyPdf(at("scan.pdf"), 2) ||
        !writeBytes(at("blank.pdf"), whitespaceOnlyPdf(2)) ||
        !encryptWithQpdf(at("text.pdf"), at("user-password.pdf"), "secret", "owner") ||
        !encryptWithQpdf(at("text.pdf"), at("owner-only.pdf"), "", "owner"))
        return false;
    const QByteArray text = readBytes(at("text.pdf"));
    QByteArray garbled = text;
    garbled.replace(garbled.size() / 2, 64, QByteArray(64, '#'));
    return writeBytes(at("truncated.pdf"), text.left(text.size() * 2 / 5)) &&
           writeBytes(at("garbage.pdf"), garbled) && writeBytes(at("zero.pdf"), QByteArray()) &&
           writeBytes(at("notes.pdf"), "These are notes, not a PDF.\n") &&
           writeBytes(at("empty-tree.pdf"), emptyPageTreePdf()) &&
           writeBytes(at("self-reference.pdf"), selfReferencingPageTreePdf()) &&
           QDir(folder).mkpath(QStringLiteral("folder.pdf"));
}

QByteArray manyPagesPdf(int pages)
{
    const QByteArray content = "BT /F1 12 Tf 72 700 Td (The same line on every page) Tj ET";
    QList<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>", QByteArray(),
                                 "<< /Length " + QByteArray::number(content.size()) +
                                     " >>\nstream\n" + content + "\nendstream",
                                 "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray kids;
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(5 + i) + " 0 R ";
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 3 0 R "
                       "/Resources << /Font << /F1 4 0 R >> >> >>");
    }
    objects[1] = "<< /Type /Pages /Count " + QByteArray::number(pages) + " /Kids [" + kids + "] >>";
    return assemblePdf(objects);
}

QByteArray emptyPageTreePdf()
{
    return assemblePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"});
}

bool encryptWithQpdf(const QString& source, const QString& target, const QString& userPassword,
                     const QString& ownerPassword)
{
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"),
               {QStringLiteral("--encrypt"), userPassword, ownerPassword, QStringLiteral("256"),
                QStringLiteral("--"), source, target});
    return qpdf.waitForFinished(30000) && qpdf.exitStatus() == QProcess::NormalExit &&
           qpdf.exitCode() == 0;
}

} // namespace PdfFixtures
