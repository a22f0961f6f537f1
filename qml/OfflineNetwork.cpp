#include "OfflineNetwork.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace Tessavo::Ui {

namespace {

// A reply that has already failed; it reports its failure on the next turn of the event loop,
// as a real reply would.
class RefusedReply : public QNetworkReply {
public:
    RefusedReply(QNetworkAccessManager::Operation operation, const QNetworkRequest& request,
                 QObject* parent)
        : QNetworkReply(parent)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        setError(ContentAccessDenied, QStringLiteral("Network access is disabled"));
        QNetworkReply::open(QIODevice::ReadOnly);
        setFinished(true);
        QTimer::singleShot(0, this, [this] {
            emit errorOccurred(error());
            emit finished();
        });
    }

    void abort() override {}
    qint64 bytesAvailable() const override { return 0; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

class RefusingNetworkAccessManager : public QNetworkAccessManager {
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice*) override
    {
        qWarning().noquote() << QStringLiteral("Refused a network request for %1")
                                    .arg(request.url().toString(QUrl::RemoveUserInfo |
                                                                QUrl::RemoveQuery));
        return new RefusedReply(operation, request, this);
    }
};

} // namespace

QNetworkAccessManager* OfflineNetworkAccessManagerFactory::create(QObject* parent)
{
    return new RefusingNetworkAccessManager(parent);
}

} // namespace Tessavo::Ui
