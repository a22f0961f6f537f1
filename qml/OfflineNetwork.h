#pragma once

#include <QQmlNetworkAccessManagerFactory>

namespace Tessavo::Ui {

// Gives the QML engine network access managers that refuse every request, so that nothing the
// interface shows (a remote image in a label, a stray URL) can reach the network. Each refused
// request fails with QNetworkReply::ContentAccessDenied and is logged.
class OfflineNetworkAccessManagerFactory : public QQmlNetworkAccessManagerFactory {
public:
    QNetworkAccessManager* create(QObject* parent) override;
};

} // namespace Tessavo::Ui
