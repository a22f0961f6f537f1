#pragma once

#include "core/BundleLayout.h"

#include <QString>
#include <QStringList>

namespace Tessavo {

// Where a bundle is built before it takes its name: a hidden folder beside the final one,
// ".<name>-partial-XXXXXX", and the ZIP beside it under the same name followed by ".zip" (or its
// volumes, followed by "-part1.zip", "-part2.zip", …). Nothing
// lies under a bundle's final name before the whole bundle is complete. The folder stays locked
// while its export runs, so another export into the same destination never mistakes it for a
// leftover.
class BundleStaging {
public:
    BundleStaging() = default;
    // Removes the folder and the ZIP unless they were published.
    ~BundleStaging();

    BundleStaging(const BundleStaging&) = delete;
    BundleStaging& operator=(const BundleStaging&) = delete;

    // Creates the locked temporary folder for a bundle called name inside parent.
    [[nodiscard]] bool create(const QString& parent, const QString& name);

    QString folder() const { return m_folder; }
    QString zipPath() const { return m_folder + BundleLayout::text(BundleLayout::zipSuffix); }

    // The ZIP is written as that many volumes instead of one file (0: one file).
    void setVolumes(int count) { m_volumes = count; }
    int volumes() const { return m_volumes; }
    // Where volume number (from 1) is written: the folder's name followed by "-part<number>.zip".
    QString volumePath(int number) const { return m_folder + BundleLayout::volumeSuffix(number); }

    // Gives the folder and then the ZIP, or each of its volumes, their final names:
    // parent/name(-n) and the same followed by ".zip" or "-part<number>.zip", never replacing
    // anything. On failure all keep their temporary names.
    [[nodiscard]] bool publish();
    // The final folder once published.
    QString published() const { return m_published; }
    // The final paths of the volumes once published, in order; empty for one ZIP.
    QStringList publishedVolumes() const;

    // Removes the folder and the ZIP or its volumes (also one still being written beside it).
    void discard();

    QString errorString() const { return m_error; }

private:
    bool fail(const QString& reason);

    QString m_parent;
    QString m_name;
    QString m_folder;
    QString m_published;
    QString m_error;
    int m_volumes = 0;
    int m_lock = -1; // the folder, locked
};

// Removes what an export into parent that never ended left behind: folders and files carrying
// the temporary names above (and the hidden ".part" file of a ZIP being written), when they hold
// nothing but regular files and folders of this user and no running export holds them. Anything
// else, whatever its name, stays. Returns the names removed.
QStringList removeUnfinishedExports(const QString& parent);

} // namespace Tessavo
