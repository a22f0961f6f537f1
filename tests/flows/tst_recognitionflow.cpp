#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/RecognitionFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using namespace Tessavo::Flows;

namespace {

// The recognition flow alone, with the list, rules and session it shares.
struct Recognition {
    explicit Recognition(const QString& settingsPath)
        : recognition(list, rules, session, settingsPath)
    {
        QObject::connect(&recognition, &RecognitionFlow::status, &recognition,
                         [this](const QString& text) { status = text; });
    }

    DocumentList list;
    RuleBook rules{defaultRules()};
    SessionFlow session{list};
    RecognitionFlow recognition;
    QString status;
};

} // namespace

class TestRecognitionFlow : public QObject {
    Q_OBJECT

private slots:
    void settingsHaveTheirOwnSignalsAndAreKept();
    void nothingToRecogniseIsSaid();
};

void TestRecognitionFlow::settingsHaveTheirOwnSignalsAndAreKept()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.json"));
    {
        Recognition f(settings);
        QVERIFY(!f.recognition.duringImport());
        QSignalSpy duringImport(&f.recognition, &RecognitionFlow::duringImportChanged);
        QSignalSpy language(&f.recognition, &RecognitionFlow::languageChanged);
        f.recognition.setLanguage(QStringLiteral("deu"));
        f.recognition.setLanguage(QStringLiteral("deu"));
        f.recognition.setLanguage(QString()); // no language is no change
        QCOMPARE(language.count(), 1);
        QCOMPARE(duringImport.count(), 0);
        f.recognition.setDuringImport(true);
        QCOMPARE(duringImport.count(), 1);
        QCOMPARE(language.count(), 1);
    }
    Recognition again(settings);
    QCOMPARE(again.recognition.language(), QStringLiteral("deu"));
    QVERIFY(again.recognition.duringImport());
    // For this run only: nothing is written.
    Recognition unsaved(dir.filePath(QStringLiteral("other.json")));
    unsaved.recognition.duringImportThisRun();
    QVERIFY(unsaved.recognition.duringImport());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("other.json"))));
}

void TestRecognitionFlow::nothingToRecogniseIsSaid()
{
    Recognition f{QString()};
    DocumentRecord ready;
    ready.fileName = QStringLiteral("text.pdf");
    ready.state = Ready;
    f.list.appendRecord(ready);
    QSignalSpy running(&f.recognition, &RecognitionFlow::runningChanged);
    f.recognition.recogniseScans();
    f.recognition.recogniseDocument(0); // not a scan
    f.recognition.recogniseImported(0);
    QCOMPARE(f.status, QStringLiteral("No scanned document is waiting for text recognition."));
    QCOMPARE(running.count(), 0);
    QVERIFY(!f.recognition.running());
    QCOMPARE(f.recognition.progress(), 0);
}

QTEST_GUILESS_MAIN(TestRecognitionFlow)
#include "tst_recognitionflow.moc"
