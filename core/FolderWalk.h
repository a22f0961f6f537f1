#pragma once

#include "core/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace Tessavo {

// The one walk from what the user selected (files and folders, as the file system spells their
// paths) to the PDF files to import, used by the window and by batch mode alike. Names are never
// decoded on the way, so a name that is not valid UTF-8 still opens.
//
// What a folder walk leaves out, it says, with the reason:
// - hidden PDFs and hidden folders (their names begin with a dot): not part of what a package
//   shows, and often a system's own files ("._offer.pdf" from a Mac);
// - folders deeper than maxFolderDepth levels below the selected folder;
// - links whose target lies outside the selected folder (a package unpacked from an archive can
//   carry a link to any file of the disk), and links that lead nowhere; links inside the folder
//   to files are followed, links to folders are not (their content is walked where it lies);
// - bundles this program exported, finished or still being written, so an export folder inside
//   the imported folder does not bring its earlier bundles back in;
// - PDF names that are not regular files (pipes, devices), and folders that cannot be listed.
// A file the user selected itself is read even when it is a link.

enum class SkipReason {
    Hidden,
    TooDeep,
    LinkOutside,
    BrokenLink,
    ExportedBundle,
    NotAFile,
    Unreadable,
};
inline constexpr int skipReasonCount = 7;

// Folder levels below a selected folder that a walk enters.
inline constexpr int maxFolderDepth = 256;

struct SkippedEntry {
    QByteArray path;
    SkipReason reason = SkipReason::Hidden;
};

struct FolderWalkResult {
    // In the order selected, each folder's entries in name order; each with the size and time
    // of the one look the walk took at it.
    QList<FileIdentity> pdfs;
    // The first maxListedSkips entries left out; the counts hold them all.
    QList<SkippedEntry> skipped;
    std::array<qsizetype, skipReasonCount> skippedByReason{};

    qsizetype skippedCount() const;
    // Whether something of the package the user meant could not be taken: everything left out
    // except hidden entries and the program's own bundles.
    bool lostSomething() const;
    void add(const FolderWalkResult& other);
};

inline constexpr qsizetype maxListedSkips = 1000;

// Walks the selection: folders recursively, files as they are when their name ends in ".pdf"
// (any letter case). Paths that name nothing are passed over.
FolderWalkResult walkSelection(const QList<QByteArray>& paths);

// A path made absolute against the current folder, without decoding it.
QByteArray absolutePathBytes(const QByteArray& path);

// Whether the folder holds a bundle this program exported: manifest.csv beginning with the
// manifest's header line, index.pdf and originals/.
bool isExportedBundle(const QByteArray& folder);

// "a link to a file or folder outside the imported folder", … for one entry.
QString skipReasonText(SkipReason reason);

// "2 hidden, 1 link(s) to outside the imported folder"; empty when nothing was left out.
QString skippedCountsText(const FolderWalkResult& walk);

} // namespace Tessavo
