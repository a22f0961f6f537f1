#include "ui/AppController.h"

#include "core/Rule.h"
#include "ui/Summary.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace Tessavo::Ui {

namespace {
const QString applicationVersion = QStringLiteral("0.2.0");
}

AppController::AppController(QObject* parent)
    : QObject(parent)
    , m_rulesPath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                  QStringLiteral("/rules.json")) {
    setStatus(QStringLiteral("Add PDFs to start. Files are processed on this computer only."));
}

AppController::~AppController() = default;

int AppController::importProgress() const {
    return importProgressPercent(m_importing, m_importedCount, m_pendingPaths.size());
}

QVariantMap AppController::summary() const {
    return summaryOf(m_documents.records());
}

QStringList AppController::categories() const {
    return categoryList();
}

QString AppController::appVersion() const {
    return applicationVersion;
}

QString AppController::fontPath(const QString& fileName) {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fonts/") + fileName;
}

void AppController::setStatus(const QString& text) {
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
}

} // namespace Tessavo::Ui
