#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo {

// Something about one original that the user should know although the bundle was written: it was
// stored under another name, or it was left out.
struct ExportWarning {
    enum class Kind {
        RenamedNotUtf8,  // stored under a name with "_" for the bytes that are not UTF-8
        RenamedPortable, // stored under a name that Windows and macOS accept
        NamesClash,      // another original would have had its name
        SourceMissing,   // left out: gone since it was inspected
        SourceChanged,   // left out: changed since it was inspected
        CopyFailed,      // left out: the copy failed (the log says why)
    };
    Kind kind = Kind::CopyFailed;
    QString text; // the sentence shown and printed, naming the original

    // Whether the original is missing from the bundle (a renamed one is there, under another name).
    bool leavesOriginalOut() const;
};

QStringList warningTexts(const QList<ExportWarning>& warnings);
qsizetype originalsLeftOut(const QList<ExportWarning>& warnings);

} // namespace Tessavo
