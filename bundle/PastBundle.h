#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tessavo {

// One document a past bundle says was filed (its decision Accepted or Changed), and where its
// original can now be read.
struct FiledOriginal {
    int line = 0;         // its manifest.csv line
    QString fileName;     // the manifest's file column
    QString category;     // the category it was filed under
    QByteArray sha256;    // of the original, as the manifest gives it (hexadecimal)
    QString originalPath; // a regular file: in the bundle folder, or extracted from the ZIP
};

// What reading a past bundle found. Each problem names the bundle and the file or line
// concerned; a row with a problem is left out and the others are kept.
struct PastBundle {
    QString label; // the bundle's folder or ZIP name, as problems name it
    QList<FiledOriginal> filed;
    QStringList problems;
};

struct PastBundleLimits {
    qint64 maxManifestBytes = qint64(512) << 20;
    qint64 maxOriginalBytes = qint64(2) << 30;   // one original extracted from a ZIP
    qint64 maxExtractedBytes = qint64(16) << 30; // all originals extracted from one ZIP
    qsizetype maxFiled = 100000;
};

// Reads the manifest of an exported bundle, given as its folder or its ZIP, and finds the stored
// original of every Accepted or Changed row where the export put it. In a folder an original is
// read in place, only as a regular file reached without a link. From a ZIP each is extracted
// (its CRC-32 checked, within the limits) into extractFolder under a name of its own, never the
// entry's: the caller gives a private folder and removes it afterwards. Only reads the bundle.
// cancelled is asked between originals.
PastBundle readPastBundle(const QString& path, const QString& extractFolder,
                          const std::function<bool()>& cancelled = {},
                          const PastBundleLimits& limits = {});

} // namespace Tessavo
