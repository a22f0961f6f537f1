#pragma once

#include <QString>
#include <QStringList>

namespace Tessavo {

// Where a finished bundle lies and how many documents it holds: what an export reports and what
// the window remembers of it.
struct WrittenBundle {
    QString directory; // the bundle folder
    QString csv;       // its manifest
    QString pdf;       // its index
    QString zip;       // the ZIP beside it; its first volume when it is in volumes
    int exported = 0;
    int skipped = 0;
    QStringList volumes; // every volume of the ZIP in order; empty when the ZIP is one file

    friend bool operator==(const WrittenBundle&, const WrittenBundle&) = default;
};

} // namespace Tessavo
