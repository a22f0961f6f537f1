#pragma once

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace Tessavo::Ui {

// What the pages need to know about local files before they hand a dialog's answer on: known
// to QML as the singleton LocalFiles.
class LocalFiles : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // The local file that a file dialog's answer names, as a file URL. A typed name comes back
    // without the file scheme; a name without a suffix gets the default one. Empty when the
    // answer names no local file.
    Q_INVOKABLE static QUrl fileUrl(const QUrl& chosen, const QString& defaultSuffix);
    Q_INVOKABLE static bool exists(const QUrl& url);
    // The last component of a file URL's path, for messages.
    Q_INVOKABLE static QString fileName(const QUrl& url);
};

} // namespace Tessavo::Ui
