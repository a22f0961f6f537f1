#include "core/DocumentRecord.h"
#include "core/RawPath.h"
#include "core/Rule.h"
#include "flows/DocumentList.h"
#include "flows/ImportFlow.h"
#include "flows/RuleBook.h"
#include "flows/SessionFlow.h"
#include "support/PdfFixtures.h"
#include "support/WorkerTestMain.h"

#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Tessavo;
using namespace Tessavo::Flows;

namespace {

// The import flow alone, with the list, rules and stored session it shares.
struct Import {
    DocumentList list;
    RuleBook rules{defaultRules()};
    SessionFlow session{list};
    ImportFlow import{list, rules, session};

    explicit Import(const QString& sessionPath) { session.restore(sessionPath, rules); }
};

// What the session file holds, read as any SQLite client would while the flows write it.
struct StoredPaths {
    QSet<QByteArray> documents;
    QSet<QByteArray> pending;
};

StoredPaths readStored(const QString& path)
{
    StoredPaths stored;
    const QString name = QStringLiteral("reader");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT path_bytes FROM document"));
            while (q.next())
                stored.documents.insert(q.value(0).toByteArray());
            q.exec(QStringLiteral("SELECT path_bytes FROM pending"));
            while (q.next())
                stored.pending.insert(q.value(0).toByteArray());
        }
    }
    QSqlDatabase::removeDatabase(name);
    return stored;
}

} // namespace

class TestImportFlow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void aFileShownIsStoredOrStillQueuedAtEveryStep();

private:
    QTemporaryDir m_dir;
    QString m_folder;
    static constexpr int files = 60;
};

void TestImportFlow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_folder = m_dir.filePath(QStringLiteral("tender"));
    QVERIFY(QDir().mkpath(m_folder));
    for (int i = 0; i < files; ++i)
        QVERIFY(PdfFixtures::writeTextPdf(
            QStringLiteral("%1/part %2.pdf").arg(m_folder, QString::number(i)),
            {QStringLiteral("Bid form %1").arg(i)}));
}

// Records are stored in batches; until its record is stored a file stays in the stored queue,
// so a crash at any moment loses nothing the list showed: the next start offers it again.
void TestImportFlow::aFileShownIsStoredOrStillQueuedAtEveryStep()
{
    const QString sessionPath = m_dir.filePath(QStringLiteral("session.sqlite"));
    {
        Import f(sessionPath);
        QStringList lost;
        const auto check = [&f, &lost, &sessionPath] {
            const StoredPaths stored = readStored(sessionPath);
            for (const DocumentRecord& r : f.list.records()) {
                const QByteArray path = sourcePathBytesOf(r);
                if (!stored.documents.contains(path) && !stored.pending.contains(path))
                    lost << r.fileName;
            }
        };
        connect(&f.import, &ImportFlow::placed, this, check);
        QSignalSpy finished(&f.import, &ImportFlow::finished);
        f.import.addUrls({QUrl::fromLocalFile(m_folder)});
        QVERIFY(finished.wait(120000));
        check();
        QCOMPARE(lost, QStringList());
        QCOMPARE(f.list.records().size(), files);
        const StoredPaths stored = readStored(sessionPath);
        QCOMPARE(stored.documents.size(), files);
        QVERIFY(stored.pending.isEmpty()); // the import ended: nothing is offered again
    }
    Import again(sessionPath);
    QCOMPARE(again.list.records().size(), files);
    QCOMPARE(again.import.pendingFiles(), 0);
}

TESSAVO_TEST_MAIN_WITH_WORKER(TestImportFlow)
#include "tst_importflow.moc"
