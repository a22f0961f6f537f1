#include "ui/AppController.h"

#include "core/Rule.h"
#include "core/RulesFile.h"
#include "ui/Summary.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

namespace Tessavo::Ui {

namespace {
const QString applicationVersion = QStringLiteral("0.2.0");
}

AppController::AppController(QObject* parent)
    : QObject(parent)
    , m_rulesPath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                  QStringLiteral("/rules.json"))
{
    loadRulesAtStartup();
    setStatus(QStringLiteral("Add PDFs to start. Files are processed on this computer only."));
}

AppController::~AppController() = default;

int AppController::importProgress() const
{
    return importProgressPercent(m_importing, m_importedCount, m_pendingPaths.size());
}

QVariantMap AppController::summary() const
{
    return summaryOf(m_documents.records());
}

QStringList AppController::categories() const
{
    return categoryList();
}

QString AppController::appVersion() const
{
    return applicationVersion;
}

QString AppController::fontPath(const QString& fileName)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fonts/") + fileName;
}

// The rules of the last run, or the built-in rules when there are none to be had. Silent, and
// writes nothing.
void AppController::loadRulesAtStartup()
{
    QFile file(m_rulesPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_rules.setRules(defaultRules());
        return;
    }
    const QList<Rule> loaded = readRulesDocument(file.readAll());
    m_rules.setRules(loaded.isEmpty() ? defaultRules() : loaded);
}

void AppController::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
}

} // namespace Tessavo::Ui
