#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>

#include <array>
#include <string>
#include <string_view>

// The names inside an exported bundle and the columns of its manifest, written down once: the
// export writes them, the verifier expects them, and the folder walk recognises an earlier bundle
// by them.
namespace Tessavo::BundleLayout {

// A finished bundle is the folder "Tessavo-Export-<yyyyMMdd-HHmmss>" (or "…-2", "…-3" when taken)
// and the ZIP of the same name plus ".zip" beside it. While it is written both carry a leading
// dot and "-partial-<six letters or digits>" after the time.
inline constexpr std::string_view namePrefix = "Tessavo-Export-";
inline constexpr std::string_view pendingPrefix = ".Tessavo-Export-";
inline constexpr std::string_view nameTimeFormat = "yyyyMMdd-HHmmss"; // QDateTime::toString
inline constexpr std::string_view zipSuffix = ".zip";
// A ZIP too large for the limit the export was given is written as volumes instead, each a
// complete ZIP of its own: "<bundle>-part1.zip", "<bundle>-part2.zip", … beside the folder.
inline constexpr std::string_view volumeInfix = "-part";

// Inside the folder and the ZIP alike.
inline constexpr std::string_view manifestFile = "manifest.csv";
inline constexpr std::string_view indexFile = "index.pdf";
inline constexpr std::string_view originalsFolder = "originals";
inline constexpr std::string_view originalsPrefix = "originals/";

// manifest.csv begins with the UTF-8 byte order mark, then the header line of these columns.
inline constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::array<std::string_view, 13> manifestColumns = {
    "file",  "source_path",        "sha256",       "size_bytes", "pages",    "text_pages",
    "state", "suggested_category", "matched_rule", "evidence",   "decision", "final_category",
    "note",
};
enum ManifestColumn {
    FileColumn,
    SourcePathColumn,
    ShaColumn,
    SizeColumn,
    PagesColumn,
    TextPagesColumn,
    StateColumn,
    SuggestedCategoryColumn,
    MatchedRuleColumn,
    EvidenceColumn,
    DecisionColumn,
    FinalCategoryColumn,
    NoteColumn,
};
static_assert(NoteColumn + 1 == manifestColumns.size());
// The manifest of a bundle whose ZIP is in volumes has one more column: the number of the volume
// that holds the document's original (1 for "-part1.zip").
inline constexpr std::string_view volumeColumn = "volume";
inline constexpr int VolumeColumn = NoteColumn + 1;

// The header line as written, with its line feed.
inline std::string manifestHeaderLine(bool withVolumes = false)
{
    std::string line;
    for (const std::string_view column : manifestColumns) {
        if (!line.empty())
            line += ',';
        line += column;
    }
    if (withVolumes) {
        line += ',';
        line += volumeColumn;
    }
    line += '\n';
    return line;
}

inline QString text(std::string_view name)
{
    return QLatin1String(name.data(), qsizetype(name.size()));
}

inline QByteArray bytes(std::string_view name)
{
    return QByteArray(name.data(), qsizetype(name.size()));
}

// What follows a bundle's path to name its volume number (counted from 1).
inline QString volumeSuffix(int number)
{
    return text(volumeInfix) + QString::number(number) + text(zipSuffix);
}

} // namespace Tessavo::BundleLayout
