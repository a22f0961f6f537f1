// Runs the Qt Quick tests of the pages against the real QML module and a real controller.
// Any QML warning, even outside a test function, fails the run.
#include "QmlFixtures.h"
#include "inspection/InspectionWorker.h"
#include "qml/OfflineNetwork.h"
#include "qml/QmlTypes.h"
#include "qml/Translations.h"
#include "support/WorkerTestMain.h"
#include "ui/AppController.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

class Setup : public QObject {
    Q_OBJECT

public:
    int warnings = 0;
    bool translationsMissing = false;

public slots:
    void applicationAvailable()
    {
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        translationsMissing = !Tessavo::Ui::installTranslations(*QCoreApplication::instance());
        // Files and folders are opened through the fixtures: the tests see what was asked, and
        // nothing is launched.
        Tessavo::Ui::ControllerSetup setup;
        setup.openUrl = [this](const QUrl& url) {
            m_fixtures->noteOpened(url);
            return true;
        };
        m_controller = new Tessavo::Ui::AppController(setup, this);
        m_fixtures = new QmlFixtures(m_controller, this);
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->setNetworkAccessManagerFactory(&m_network);
        Tessavo::Ui::ControllerSingleton::provide(*engine, *m_controller);
        engine->rootContext()->setContextProperty(QStringLiteral("fixtures"), m_fixtures);
        connect(engine, &QQmlEngine::warnings, this, [this](const QList<QQmlError>& errors) {
            for (const QQmlError& error : errors) {
                ++warnings;
                qWarning().noquote() << "QML warning:" << error.toString();
            }
        });
    }

private:
    Tessavo::Ui::OfflineNetworkAccessManagerFactory m_network;
    Tessavo::Ui::AppController* m_controller = nullptr;
    QmlFixtures* m_fixtures = nullptr;
};

int main(int argc, char** argv)
{
    if (Tessavo::Inspection::isWorkerInvocation(argc, argv))
        return Tessavo::Inspection::runWorker(argc, argv, WorkerTestHooks::hooks());
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    const int result =
        quick_test_main_with_setup(argc, argv, "tessavo_qml", QUICK_TEST_SOURCE_DIR, &setup);
    if (setup.translationsMissing) {
        qCritical("The English catalogue could not be loaded");
        return 1;
    }
    if (setup.warnings > 0) {
        qCritical("%d QML warning(s) were reported", setup.warnings);
        return 1;
    }
    return result;
}

#include "tst_qml.moc"
