#pragma once

#include "core/WrittenBundle.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace Tessavo {
struct ExportResult;
}

namespace Tessavo::Ui {

// The last bundle written, a value type for QML (App.lastExport.zip); ok is false before the
// first.
struct LastExport : WrittenBundle {
    Q_GADGET
    Q_PROPERTY(bool ok MEMBER ok)
    Q_PROPERTY(QString error MEMBER error)
    Q_PROPERTY(QString directory MEMBER directory)
    Q_PROPERTY(QString csv MEMBER csv)
    Q_PROPERTY(QString pdf MEMBER pdf)
    Q_PROPERTY(QString zip MEMBER zip)
    Q_PROPERTY(QStringList volumes MEMBER volumes)
    Q_PROPERTY(int exported MEMBER exported)
    Q_PROPERTY(int skipped MEMBER skipped)
    Q_PROPERTY(QStringList warnings MEMBER warnings)
    Q_PROPERTY(int originalsLeftOut MEMBER originalsLeftOut)

public:
    bool ok = false;
    QString error;
    QStringList warnings;
    int originalsLeftOut = 0; // warnings that left an original out of the bundle

    static LastExport of(const ExportResult& result);
    friend bool operator==(const LastExport&, const LastExport&) = default;
};

} // namespace Tessavo::Ui
