#pragma once

#include "support/TestFiles.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// PDF files written by the tests themselves: real ones through QPdfWriter, hand-made ones for
// the shapes no writer produces, encrypted ones through qpdf. Needs a QGuiApplication.
namespace PdfFixtures {

// One page per text; each text may hold several lines.
bool writeTextPdf(const QString& path, const QStringList& pageTexts, const QString& title = {});

// Pages that show only a picture: a scan without a text layer.
bool writeImageOnlyPdf(const QString& path, int pages);

// A PDF assembled from object bodies ("<< /Type /Catalog ... >>"); object i + 1 is
// objects[i], object 1 is the root. The cross-reference table is computed.
QByteArray assemblePdf(const QList<QByteArray>& objects);

// Pages whose only text is blanks.
QByteArray whitespaceOnlyPdf(int pages);

// A page tree whose /Pages node lists itself among its kids.
QByteArray selfReferencingPageTreePdf();

// One file of every kind inspection tells apart, in folder: text.pdf (three pages, title "Tender
// RFP"), scan.pdf, blank.pdf, user-password.pdf, owner-only.pdf, truncated.pdf, garbage.pdf,
// zero.pdf, notes.pdf, empty-tree.pdf, self-reference.pdf and a folder named folder.pdf.
bool writeEveryKind(const QString& folder);

// Many pages that all show the same line of text; small on disk, slow to read.
QByteArray manyPagesPdf(int pages);

// A page tree without pages.
QByteArray emptyPageTreePdf();

// qpdf --encrypt with AES-256; an empty user password gives an owner-password-only file.
bool encryptWithQpdf(const QString& source, const QString& target, const QString& userPassword,
                     const QString& ownerPassword);

using TestFiles::readBytes;
using TestFiles::writeBytes;

} // namespace PdfFixtures
