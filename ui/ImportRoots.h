#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Tessavo::Ui {

// What the user imported, so that each document can be shown with its folder relative to it: a
// dropped folder is a root of its own, a dropped file has its folder as root. A document's folder
// reads as the name of the deepest root that holds it and the folders below it ("Tender/Lot 1"); a
// document under no known root (a list restored from an earlier run) shows the name of the folder
// that holds it.
class ImportRoots {
public:
    // The files and folders of one selection, as the file system spells them.
    void add(const QList<QByteArray>& selection);
    void clear() { m_roots.clear(); }

    QString folderOf(const QByteArray& filePath) const;

private:
    QList<QByteArray> m_roots; // each ends in '/'; the deepest first
};

} // namespace Tessavo::Ui
