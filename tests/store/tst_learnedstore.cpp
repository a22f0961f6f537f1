// What the program learned from filed documents, kept in the stored session: across restarts,
// through a migration from the version before, until forgotten, and never more than the limits
// allow from a file someone else wrote.
#include "core/LearnedModel.h"
#include "store/SessionStore.h"

#include "support/CorpusTexts.h"
#include "support/ExternalTool.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Tessavo;
using Tessavo::Store::SessionStore;

namespace {

// The training half of the published tender texts, filed under their categories.
LearnedModel trainingModel()
{
    LearnedModel model;
    for (const CorpusTexts::Document& d : CorpusTexts::half(true))
        model.learn(d.record, d.category);
    return model;
}

} // namespace

class TestLearnedStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void learnedExamplesOutliveARestartUntilForgotten();
    void storesOfTheVersionBeforeAreMigrated();
    void hostileRowsAreRefused();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
};

void TestLearnedStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("data/session.sqlite"));
}

void TestLearnedStore::learnedExamplesOutliveARestartUntilForgotten()
{
    const LearnedModel model = trainingModel();
    QList<DocumentRecord> records;
    {
        SessionStore store(m_db);
        QVERIFY2(store.open(records), qPrintable(store.errorString()));
        QVERIFY(store.learnedExamples().isEmpty());
        QVERIFY(store.saveLearned(model.examples()));
        // Clearing the list keeps what was learned.
        QVERIFY(store.clearList());
    }
    const CorpusTexts::Document refiled = CorpusTexts::byId(QStringLiteral("g06"));
    {
        SessionStore store(m_db);
        QVERIFY(store.open(records));
        const QList<LearnedExample> kept = store.learnedExamples();
        QCOMPARE(kept, model.examples());
        QCOMPARE(store.refusedLearned(), 0);
        LearnedModel restored;
        for (const LearnedExample& e : kept)
            restored.add(e);
        for (const CorpusTexts::Document& d : CorpusTexts::half(false)) {
            const LearnedSuggestion a = model.suggest(d.record);
            const LearnedSuggestion b = restored.suggest(d.record);
            QCOMPARE(b.category, a.category);
            QCOMPARE(b.score, a.score);
            QCOMPARE(learnedExplanation(b), learnedExplanation(a));
        }
        // Filing a document again replaces its example; removing one leaves the others.
        restored.learn(refiled.record, QStringLiteral("08_Other"));
        QVERIFY(store.saveLearned(restored.examples()));
        QVERIFY(store.removeLearned({learnedKey(CorpusTexts::byId(QStringLiteral("p09")).record)}));
    }
    {
        SessionStore store(m_db);
        QVERIFY(store.open(records));
        const QList<LearnedExample> kept = store.learnedExamples();
        QCOMPARE(kept.size(), model.size() - 1);
        const auto it = std::find_if(kept.cbegin(), kept.cend(), [&](const LearnedExample& e) {
            return e.key == learnedKey(refiled.record);
        });
        QVERIFY(it != kept.cend());
        QCOMPARE(it->category, QStringLiteral("08_Other"));
        QVERIFY(store.forgetLearned());
    }
    SessionStore store(m_db);
    QVERIFY(store.open(records));
    QVERIFY(store.learnedExamples().isEmpty());
    // Forgotten from the disk too: no term of a filed document is left in the files.
    const QByteArray term = model.examples().constFirst().terms.constLast().first.toUtf8();
    for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
        const QByteArray bytes = TestFiles::readBytes(m_db + suffix);
        QVERIFY2(!bytes.contains("\"terms\"") && !bytes.contains("\"" + term + "\""),
                 qPrintable(suffix));
    }
}

void TestLearnedStore::storesOfTheVersionBeforeAreMigrated()
{
    QList<DocumentRecord> records;
    DocumentRecord r = CorpusTexts::byId(QStringLiteral("g01")).record;
    r.sourcePath = QStringLiteral("/bids/14c RFQ.pdf");
    r.sha256 = QByteArray(64, 'a');
    r.modifiedNs = 1700000000123456789;
    {
        SessionStore store(m_db);
        QVERIFY(store.open(records));
        QVERIFY(store.saveRecords({r}, {0}));
    }
    // The version before had no learned examples; its times were already in nanoseconds.
    const ToolRun downgrade = runPython("import sqlite3, sys\n"
                                        "c = sqlite3.connect(sys.argv[1])\n"
                                        "c.execute('drop table learned')\n"
                                        "c.execute('pragma user_version = 3')\n"
                                        "c.commit()",
                                        {m_db});
    QVERIFY2(downgrade.ok(), downgrade.err);
    {
        SessionStore store(m_db);
        QVERIFY2(store.open(records), qPrintable(store.errorString()));
        QVERIFY(store.setAsidePath().isEmpty());
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.at(0).modifiedNs, r.modifiedNs);
        QVERIFY(store.learnedExamples().isEmpty());
        LearnedModel model;
        model.learn(r, QStringLiteral("01_Solicitation"));
        QVERIFY(store.saveLearned(model.examples()));
    }
    SessionStore store(m_db);
    QVERIFY(store.open(records));
    QCOMPARE(records.at(0).modifiedNs, r.modifiedNs);
    QCOMPARE(store.learnedExamples().size(), 1);
    const ToolRun version = runPython("import sqlite3, sys\n"
                                      "print(sqlite3.connect(sys.argv[1]).execute("
                                      "'pragma user_version').fetchone()[0])",
                                      {m_db});
    QCOMPARE(version.out.trimmed(), QByteArray::number(SessionStore::schemaVersion));
}

// Rows written by someone else: too large, of the wrong type, damaged, claiming another key, or
// nested deeply. Each is refused and counted; the sound ones are read.
void TestLearnedStore::hostileRowsAreRefused()
{
    QList<DocumentRecord> records;
    const LearnedModel model = trainingModel();
    {
        SessionStore store(m_db);
        QVERIFY(store.open(records));
        QVERIFY(store.saveLearned(model.examples()));
    }
    const ToolRun hostile =
        runPython("import sqlite3, sys\n"
                  "c = sqlite3.connect(sys.argv[1])\n"
                  "good = c.execute('select example from learned limit 1').fetchone()[0]\n"
                  "rows = [\n"
                  "  ('huge', b'{' + b' ' * 300000 + b'}'),\n"
                  "  ('text', 'not a blob'),\n"
                  "  ('damaged', good[:len(good) // 2]),\n"
                  "  ('other key', good),\n"
                  "  ('deep', b'[' * 100000),\n"
                  "  ('counts', good.replace(b'\"counts\":[', b'\"counts\":[1e300,')),\n"
                  "  (b'key as blob', good),\n"
                  "  ('k' * 5000, good),\n"
                  "]\n"
                  "c.executemany('insert into learned (key, example) values (?, ?)', rows)\n"
                  "c.commit()",
                  {m_db});
    QVERIFY2(hostile.ok(), hostile.err);
    SessionStore store(m_db);
    QVERIFY(store.open(records));
    QVERIFY(store.setAsidePath().isEmpty());
    QTest::ignoreMessage(QtWarningMsg, "The stored session holds 8 learned example(s) that cannot "
                                       "be read; they are left out");
    QCOMPARE(store.learnedExamples(), model.examples());
    QCOMPARE(store.refusedLearned(), 8);
}

QTEST_GUILESS_MAIN(TestLearnedStore)
#include "tst_learnedstore.moc"
