#include "core/RulesFile.h"
#include "support/ControllerFolder.h"
#include "support/TestFiles.h"
#include "ui/AppController.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Tessavo;
using namespace Tessavo::Ui;

namespace {

QString rulesPath()
{
    return ControllerFolder::path() + QStringLiteral("/rules.json");
}

QList<Rule> persistedRules()
{
    return readRulesDocument(TestFiles::readBytes(rulesPath()));
}

DocumentRecord document(const QString& fileName, const QString& text)
{
    DocumentRecord r;
    r.fileName = fileName;
    r.state = Ready;
    r.pages = 1;
    r.pageTexts = {{0, int(text.size()), text}};
    return r;
}

// Counts the changes the rule list announces to its views.
struct RuleListChanges {
    explicit RuleListChanges(QAbstractItemModel* model)
        : inserted(model, &QAbstractItemModel::rowsInserted)
        , removed(model, &QAbstractItemModel::rowsRemoved)
        , changed(model, &QAbstractItemModel::dataChanged)
        , reset(model, &QAbstractItemModel::modelReset)
    {}
    qsizetype count() const
    {
        return inserted.count() + removed.count() + changed.count() + reset.count();
    }

    QSignalSpy inserted;
    QSignalSpy removed;
    QSignalSpy changed;
    QSignalSpy reset;
};

} // namespace

class TestRuleCommands : public QObject {
    Q_OBJECT

private slots:
    void init();
    void addRuleTrimsClampsAndReports();
    void addRuleRefusesRulesWithoutConditions();
    void addRuleSignalsInOrderAndPersists();
    void removeRuleAlwaysReclassifiesAndPersists();
    void setRuleEnabledOutOfRangeDoesNothing();
    void switchingOffTheMatchingRuleKeepsTheDecidedCategories();
    void loadRulesReadsBothForms();
    void loadRulesRefusesUnusableFiles();
    void saveThenLoadKeepsOrderAndIds();
    void saveReportsFailures();
    void unusableRulesFileIsKeptAsBackup();
    void aFailedSaveShowsInTheStatusAndTheLog();
    void usableRulesFileNeedsNoBackup();
    void hostileRulesFilesNeverBlockOrGrow();
    void rulesBeyondTheLimitsAreRefusedAndCounted();
    void importingRulesKeepsTheDecidedCategories();
    void addingRulesFromAFileSkipsThoseAlreadyListed();
    void aFullListRefusesTheNextRuleAtOnce();

private:
    std::unique_ptr<AppController> m_controller;
    QTemporaryDir m_dir;
};

void TestRuleCommands::init()
{
    m_controller.reset();
    QFile::remove(rulesPath());
    QFile::remove(rulesPath() + ".bak");
    m_controller = std::make_unique<AppController>(ControllerFolder::rulesAndSettings());
}

void TestRuleCommands::addRuleTrimsClampsAndReports()
{
    AppController& c = *m_controller;
    c.review()->addRule("  Bid bond  ", " 02_Forms ", "  ", " bid bond ", -3, 0, 0);
    QCOMPARE(c.status(), QStringLiteral("Rule \"Bid bond\" added."));
    const Rule added = c.rules()->ruleList().constLast();
    QCOMPARE(added.name, QStringLiteral("Bid bond"));
    QCOMPARE(added.category, QStringLiteral("02_Forms"));
    QCOMPARE(added.textContains, QStringLiteral("bid bond"));
    QCOMPARE(added.minPages, 0);
    QCOMPARE(added.priority, 1);
    QVERIFY(added.enabled);
    QVERIFY(added.id.startsWith("rule-") && added.id.size() == 13);

    c.review()->addRule("Big", "09_Mine", "", "", 5, 2, 5000); // min above max is not refused
    QCOMPARE(c.rules()->ruleList().constLast().priority, 1000);
    QCOMPARE(c.rules()->ruleList().constLast().minPages, 5);
    QCOMPARE(c.rules()->rowCount(), 11);
}

void TestRuleCommands::addRuleRefusesRulesWithoutConditions()
{
    AppController& c = *m_controller;
    RuleListChanges rulesChanged(c.rules());
    c.review()->addRule("References", "05_References", "  ", "   ", 0, 0, 100);
    QCOMPARE(c.status(),
             QStringLiteral("A rule needs a name, a category and at least one condition."));
    c.review()->addRule("  ", "05_References", "ref", "", 0, 0, 100);
    c.review()->addRule("Name", "  ", "ref", "", 0, 0, 100);
    QCOMPARE(c.rules()->rowCount(), 9);
    QCOMPARE(rulesChanged.count(), 0);
    QVERIFY(!QFile::exists(rulesPath()));
}

void TestRuleCommands::addRuleSignalsInOrderAndPersists()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(document("x.pdf", "nothing"));
    QStringList order;
    connect(c.rules(), &QAbstractItemModel::rowsInserted, this, [&] { order << "ruleInserted"; });
    connect(c.documents(), &QAbstractItemModel::dataChanged, this,
            [&] { order << "documentsChanged"; });
    connect(&c, &AppController::summaryChanged, this, [&] { order << "summary"; });
    connect(&c, &AppController::statusChanged, this, [&] { order << "status"; });

    c.review()->addRule("Bid bond", "02_Forms", "", "nothing", 0, 0, 100);
    QCOMPARE(order, (QStringList{"ruleInserted", "documentsChanged", "summary", "status"}));
    const QList<Rule> saved = persistedRules();
    QCOMPARE(saved.size(), 10);
    QCOMPARE(saved.constLast(), c.rules()->ruleList().constLast());
    QCOMPARE(saved.constFirst(), c.rules()->ruleList().constFirst());
    QCOMPARE(c.documents()->records().first().suggestion.category, QStringLiteral("02_Forms"));
}

void TestRuleCommands::removeRuleAlwaysReclassifiesAndPersists()
{
    AppController& c = *m_controller;
    QSignalSpy summary(&c, &AppController::summaryChanged);
    RuleListChanges rulesChanged(c.rules());
    const QString status = c.status();
    c.review()->removeRule(-1);
    QCOMPARE(c.rules()->rowCount(), 9);
    QCOMPARE(summary.count(), 0);      // no document, no counter changed
    QCOMPARE(rulesChanged.count(), 0); // nothing to remove
    QCOMPARE(persistedRules(), c.rules()->ruleList());
    QCOMPARE(c.status(), status);

    c.review()->removeRule(0);
    QCOMPARE(c.rules()->rowCount(), 8);
    QCOMPARE(persistedRules().size(), 8);
}

void TestRuleCommands::setRuleEnabledOutOfRangeDoesNothing()
{
    AppController& c = *m_controller;
    QSignalSpy summary(&c, &AppController::summaryChanged);
    RuleListChanges rulesChanged(c.rules());
    c.review()->setRuleEnabled(9, false);
    c.review()->setRuleEnabled(-1, false);
    QCOMPARE(summary.count(), 0);
    QCOMPARE(rulesChanged.count(), 0);
    QVERIFY(!QFile::exists(rulesPath()));

    c.review()->setRuleEnabled(3, false);
    QVERIFY(!c.rules()->ruleList().at(3).enabled);
    QVERIFY(!persistedRules().at(3).enabled);
    QVERIFY(rulesChanged.count() > 0);
}

void TestRuleCommands::switchingOffTheMatchingRuleKeepsTheDecidedCategories()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(document("a.pdf", "the bid bond"));
    c.documentList()->appendRecord(document("b.pdf", "the bid bond"));
    c.review()->removeRule(-1); // classify both with the current rules
    c.review()->acceptDocument(0);
    c.review()->changeDocumentCategory(1, "03_Pricing");
    QCOMPARE(c.documents()->records()[0].finalCategory, QStringLiteral("02_Forms"));

    c.review()->setRuleEnabled(1, false); // "Bid bond"
    const DocumentRecord& accepted = c.documents()->records()[0];
    QCOMPARE(accepted.decision, int(Accepted));
    // No rule suggests it any more; only what the two decisions taught may.
    QVERIFY(accepted.suggestion.category.isEmpty() || accepted.suggestion.learned);
    QCOMPARE(accepted.finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(c.documents()->data(c.documents()->index(0), DocumentListModel::CategoryRole),
             QVariant(QStringLiteral("02_Forms")));
    const DocumentRecord& changed = c.documents()->records()[1];
    QCOMPARE(changed.decision, int(Changed));
    QCOMPARE(changed.finalCategory, QStringLiteral("03_Pricing"));
}

void TestRuleCommands::loadRulesReadsBothForms()
{
    AppController& c = *m_controller;
    const QString array = m_dir.filePath("array.json");
    QVERIFY(TestFiles::writeBytes(
        array,
        R"([{"id":"rule-00000001","name":"One","category":"08_Other","fileContains":"x"},
                              {"name":"Two","category":"08_Other","textContains":"y"}])"));
    RuleListChanges rulesChanged(c.rules());
    c.review()->loadRules(QUrl::fromLocalFile(array));
    QCOMPARE(c.status(), QStringLiteral("Loaded 2 rule(s)."));
    QCOMPARE(c.rules()->rowCount(), 2); // replaced, not merged
    QCOMPARE(c.rules()->ruleList().first().id, QStringLiteral("rule-00000001"));
    QVERIFY(rulesChanged.count() > 0);
    QCOMPARE(persistedRules(), c.rules()->ruleList());

    const QString v2 = m_dir.filePath("v2.json");
    QVERIFY(TestFiles::writeBytes(
        v2, R"({"schemaVersion":2,"rules":[{"name":"Three","category":"C","maxPages":3}],
                          "extra":true})"));
    c.review()->loadRules(QUrl::fromLocalFile(v2));
    QCOMPARE(c.status(), QStringLiteral("Loaded 1 rule(s)."));
    QCOMPARE(c.rules()->ruleList().first().name, QStringLiteral("Three"));
}

void TestRuleCommands::loadRulesRefusesUnusableFiles()
{
    AppController& c = *m_controller;
    const QList<Rule> before = c.rules()->ruleList();
    RuleListChanges rulesChanged(c.rules());

    const QString noRules = m_dir.filePath("object.json");
    QVERIFY(TestFiles::writeBytes(noRules, R"({"schemaVersion":1,"items":[]})"));
    c.review()->loadRules(QUrl::fromLocalFile(noRules));
    QCOMPARE(c.status(), QStringLiteral("The rules file contains no valid rules."));
    const QString notJson = m_dir.filePath("broken.json");
    QVERIFY(TestFiles::writeBytes(notJson, "{ this is not json"));
    c.review()->loadRules(QUrl::fromLocalFile(notJson));
    QCOMPARE(c.status(), QStringLiteral("The rules file contains no valid rules."));
    c.setStatus("x");
    c.review()->loadRules(QUrl::fromLocalFile(m_dir.filePath("missing.json")));
    QCOMPARE(c.status(), QStringLiteral("Cannot read the rules file."));
    c.setStatus("x");
    c.review()->loadRules(QUrl());
    QCOMPARE(c.status(), QStringLiteral("Cannot read the rules file."));

    QCOMPARE(c.rules()->ruleList(), before);
    QCOMPARE(rulesChanged.count(), 0);
    QVERIFY(!QFile::exists(rulesPath()));
}

void TestRuleCommands::saveThenLoadKeepsOrderAndIds()
{
    AppController& c = *m_controller;
    c.review()->addRule("Mine", "09_Custom", "custom", "", 0, 4, 7);
    c.review()->setRuleEnabled(0, false);
    const QList<Rule> before = c.rules()->ruleList();
    const QString target = m_dir.filePath("exported rules.json");
    RuleListChanges rulesChanged(c.rules());
    c.review()->saveRules(QUrl::fromLocalFile(target));
    QCOMPARE(c.status(), QStringLiteral("Rules exported to %1").arg(target));
    QCOMPARE(rulesChanged.count(), 0);
    QVERIFY(TestFiles::readBytes(target).startsWith("{\n    \"rules\": [\n"));

    c.review()->removeRule(0);
    c.review()->loadRules(QUrl::fromLocalFile(target));
    QCOMPARE(c.rules()->ruleList(), before);
}

void TestRuleCommands::saveReportsFailures()
{
    AppController& c = *m_controller;
    const QString status = c.status();
    c.review()->saveRules(QUrl());
    QCOMPARE(c.status(), status); // an empty choice does nothing

    const QString nowhere = m_dir.filePath("no/such/folder/rules.json");
    c.review()->saveRules(QUrl::fromLocalFile(nowhere));
    QVERIFY2(c.status().startsWith(QStringLiteral("Cannot write rules: ")), qPrintable(c.status()));
    QVERIFY(!QFile::exists(nowhere));
}

void TestRuleCommands::unusableRulesFileIsKeptAsBackup()
{
    m_controller.reset();
    const QByteArray precious = R"({"rules":[{"name":"Almost","category":"C"}]} hand-edited)";
    QVERIFY(TestFiles::writeBytes(rulesPath(), precious));
    QVERIFY(TestFiles::writeBytes(rulesPath() + ".bak", "an older backup"));
    m_controller = std::make_unique<AppController>(ControllerFolder::rulesAndSettings());
    QCOMPARE(m_controller->rules()->rowCount(), 9);
    QCOMPARE(TestFiles::readBytes(rulesPath()), precious); // start-up writes nothing

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept as .*rules\\.json\\.bak$"));
    m_controller->review()->removeRule(8);
    QCOMPARE(TestFiles::readBytes(rulesPath() + ".bak"), precious);
    QCOMPARE(persistedRules().size(), 8);

    m_controller->review()->removeRule(7); // later changes leave the backup alone
    QCOMPARE(TestFiles::readBytes(rulesPath() + ".bak"), precious);
    QCOMPARE(persistedRules().size(), 7);
}

void TestRuleCommands::aFailedSaveShowsInTheStatusAndTheLog()
{
    // A folder that cannot be made, and a rules path taken by a folder.
    const QString blocker = m_dir.filePath("blocker");
    QVERIFY(TestFiles::writeBytes(blocker, "a file"));
    const QString taken = m_dir.filePath("taken/rules.json");
    QVERIFY(QDir().mkpath(taken));
    for (const QString& path : {blocker + "/rules.json", taken}) {
        ControllerSetup setup;
        setup.rulesPath = path;
        AppController c(setup);
        RuleListChanges rulesChanged(c.rules());
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Cannot save the rules to .*rules\\.json: .+"));
        c.review()->addRule("Unsaved", "02_Forms", "form", "", 0, 0, 5);
        QVERIFY2(c.status().startsWith("The rules were changed but could not be saved: "),
                 qPrintable(c.status()));
        QCOMPARE(c.rules()->ruleList().last().name, QStringLiteral("Unsaved")); // still in use
        QVERIFY(rulesChanged.count() > 0);
    }
    QCOMPARE(TestFiles::readBytes(blocker), QByteArray("a file"));
}

void TestRuleCommands::usableRulesFileNeedsNoBackup()
{
    m_controller.reset();
    QVERIFY(TestFiles::writeBytes(rulesPath(), rulesDocument(defaultRules())));
    m_controller = std::make_unique<AppController>(ControllerFolder::rulesAndSettings());
    m_controller->review()->removeRule(0);
    QVERIFY(!QFile::exists(rulesPath() + ".bak"));
    QCOMPARE(persistedRules().size(), 8);
}

void TestRuleCommands::hostileRulesFilesNeverBlockOrGrow()
{
    // A pipe without writer, a link to an endless device, a folder, a file over 16 MiB: each
    // is refused at once, start-up falls back to the built-in rules and says so.
    const QString fifo = m_dir.filePath("fifo.json");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zeroLink = m_dir.filePath("zero.json");
    QVERIFY(QFile::link("/dev/zero", zeroLink));
    const QString folder = m_dir.filePath("folder.json");
    QVERIFY(QDir().mkpath(folder));
    const QString huge = m_dir.filePath("huge.json");
    {
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(maxRulesFileBytes + 1));
    }
    for (const QString& path : {fifo, zeroLink, folder, huge}) {
        // A pipe or a device that would block the read shows as a hang, caught by the test's
        // time limit.
        const RulesFileBytes read = readRulesFileBytes(path);
        QVERIFY2(!read.ok && !read.missing && !read.error.isEmpty(), qPrintable(path));
        QVERIFY(read.bytes.isEmpty());

        m_controller->setStatus("x");
        m_controller->review()->loadRules(QUrl::fromLocalFile(path));
        QCOMPARE(m_controller->status(), QStringLiteral("Cannot read the rules file."));

        m_controller.reset();
        QFile::remove(rulesPath());
        QVERIFY(QFile::link(path, rulesPath()));
        m_controller = std::make_unique<AppController>(ControllerFolder::rulesAndSettings());
        QCOMPARE(m_controller->rules()->rowCount(), 9);
        QVERIFY2(m_controller->status().startsWith(QStringLiteral("The saved rules could not be "
                                                                  "read")),
                 qPrintable(m_controller->status()));
        // The first change replaces the link, never what it points to.
        m_controller->review()->removeRule(8);
        QVERIFY(!QFileInfo(rulesPath()).isSymLink());
        QCOMPARE(persistedRules().size(), 8);
    }
    QVERIFY(QFileInfo(fifo).exists() && QFileInfo(folder).isDir());
    QCOMPARE(QFileInfo(huge).size(), maxRulesFileBytes + 1);
}

void TestRuleCommands::rulesBeyondTheLimitsAreRefusedAndCounted()
{
    QJsonArray array;
    for (int i = 0; i < maxRuleCount + 5; ++i)
        array.append(QJsonObject{{"name", QStringLiteral("Rule %1").arg(i)},
                                 {"category", "C"},
                                 {"fileContains", ".pdf"}});
    array.insert(3, QJsonObject{{"name", QString(maxRuleTextChars + 1, u'n')},
                                {"category", "C"},
                                {"fileContains", ".pdf"}});
    array.insert(4, QJsonObject{{"name", "Long text"},
                                {"category", "C"},
                                {"textContains", QString(maxRuleTextChars + 1, u't')}});
    array.insert(5, QJsonObject{{"name", QString(maxRuleTextChars, u'n')},
                                {"category", "C"},
                                {"fileContains", ".pdf"}}); // at the limit: kept
    QJsonObject wrongType = array.at(0).toObject();
    wrongType.insert("textAnyOf", "bid bond"); // a list is wanted: unset, the rule kept
    array.replace(0, wrongType);
    const QString path = m_dir.filePath("many.json");
    QVERIFY(TestFiles::writeBytes(path, QJsonDocument(array).toJson()));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Refused 2 rule\\(s\\) of .* longer than 4096"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Refused 6 rule\\(s\\) of .* beyond the first 10000"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Left 1 condition\\(s\\) of .* unset: "
                                                          "their values have the wrong type$"));
    m_controller->review()->loadRules(QUrl::fromLocalFile(path));
    QCOMPARE(m_controller->status(),
             QStringLiteral("Loaded 10000 rule(s); refused 8 that exceed the limits."));
    const QList<Rule> rules = m_controller->rules()->ruleList();
    QCOMPARE(rules.size(), maxRuleCount);
    QCOMPARE(rules.at(3).name.size(), maxRuleTextChars);
    QVERIFY(rules.at(0).textAnyOf.isEmpty());
    QCOMPARE(rules.last().name, QStringLiteral("Rule 9998"));
}

void TestRuleCommands::importingRulesKeepsTheDecidedCategories()
{
    AppController& c = *m_controller;
    c.documentList()->appendRecord(document("a.pdf", "the bid bond"));
    c.documentList()->appendRecord(document("b.pdf", "the bid bond"));
    c.documentList()->appendRecord(document("c.pdf", "the bid bond"));
    c.review()->removeRule(-1);
    c.review()->acceptDocument(0);
    c.review()->changeDocumentCategory(1, "03_Pricing");

    // The new rules know nothing of bid bonds, then call them something else.
    const QString other = m_dir.filePath("other.json");
    QVERIFY(TestFiles::writeBytes(
        other, R"([{"name":"Anything","category":"08_Other","fileContains":"zzz"}])"));
    const QString renamed = m_dir.filePath("renamed.json");
    QVERIFY(TestFiles::writeBytes(
        renamed, R"([{"name":"Bonds","category":"04_Technical","textContains":"bid bond"}])"));
    c.review()->loadRules(QUrl::fromLocalFile(other)); // no rule matches any more
    const QList<DocumentRecord>& records = c.documents()->records();
    QCOMPARE(records[0].decision, int(Accepted));
    QCOMPARE(records[0].finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(records[1].finalCategory, QStringLiteral("03_Pricing"));
    QVERIFY(records[2].finalCategory.isEmpty());

    c.review()->loadRules(QUrl::fromLocalFile(renamed));
    QCOMPARE(records[0].suggestion.category, QStringLiteral("04_Technical")); // evidence follows
    QCOMPARE(records[0].finalCategory, QStringLiteral("02_Forms"));
    QCOMPARE(records[1].finalCategory, QStringLiteral("03_Pricing"));
    QCOMPARE(records[2].decision, int(NeedsReview));
    QVERIFY(records[2].finalCategory.isEmpty());
    QCOMPARE(c.summary().accepted, 1);
}

void TestRuleCommands::addingRulesFromAFileSkipsThoseAlreadyListed()
{
    AppController& c = *m_controller;
    const QString saved = m_dir.filePath("saved.json");
    c.review()->saveRules(QUrl::fromLocalFile(saved));
    for (int i = 0; i < 8; ++i)
        c.review()->removeRule(0);
    c.review()->addRule("Mine", "09_Custom", "custom", "", 0, 0, 7);
    const QList<Rule> before = c.rules()->ruleList();
    QCOMPARE(before.size(), 2);

    RuleListChanges rulesChanged(c.rules());
    c.review()->addRulesFrom(QUrl::fromLocalFile(saved));
    QCOMPARE(c.status(), QStringLiteral("Added 8 rule(s); 1 already in the list."));
    const QList<Rule> after = c.rules()->ruleList();
    QCOMPARE(after.size(), 10);
    QCOMPARE(after.mid(0, 2), before); // kept, in their place
    QCOMPARE(after.at(2).name, defaultRules().at(0).name);
    QVERIFY(rulesChanged.count() > 0);
    QCOMPARE(persistedRules(), after);

    // Same file again: nothing new, nothing changes.
    const qsizetype changesBefore = rulesChanged.count();
    c.review()->addRulesFrom(QUrl::fromLocalFile(saved));
    QCOMPARE(c.status(), QStringLiteral("Added 0 rule(s); 9 already in the list."));
    QCOMPARE(c.rules()->ruleList(), after);
    QCOMPARE(rulesChanged.count(), changesBefore);

    // A rule of the same name with other conditions is added beside it under an id of its own.
    const QString sameName = m_dir.filePath("same-name.json");
    QVERIFY(TestFiles::writeBytes(
        sameName, QStringLiteral(R"([{"id":"%1","name":"Mine","category":"09_Custom",
                                      "textContains":"other"}])")
                      .arg(after.at(1).id)
                      .toUtf8()));
    c.review()->addRulesFrom(QUrl::fromLocalFile(sameName));
    QCOMPARE(c.status(), QStringLiteral("Added 1 rule(s)."));
    QCOMPARE(c.rules()->rowCount(), 11);
    const Rule added = c.rules()->ruleList().last();
    QCOMPARE(added.name, QStringLiteral("Mine"));
    QVERIFY(added.id != after.at(1).id);

    c.review()->addRulesFrom(QUrl::fromLocalFile(m_dir.filePath("missing.json")));
    QCOMPARE(c.status(), QStringLiteral("Cannot read the rules file."));
    QCOMPARE(c.rules()->rowCount(), 11);
}

void TestRuleCommands::aFullListRefusesTheNextRuleAtOnce()
{
    QJsonArray array;
    for (int i = 0; i < maxRuleCount; ++i)
        array.append(QJsonObject{{"name", QStringLiteral("Rule %1").arg(i)},
                                 {"category", "C"},
                                 {"fileContains", QStringLiteral("f%1").arg(i)}});
    const QString full = m_dir.filePath("full.json");
    QVERIFY(TestFiles::writeBytes(full, QJsonDocument(array).toJson()));
    AppController& c = *m_controller;
    c.review()->loadRules(QUrl::fromLocalFile(full));
    QCOMPARE(c.rules()->rowCount(), int(maxRuleCount));

    RuleListChanges rulesChanged(c.rules());
    QTest::ignoreMessage(QtWarningMsg, "Refused a new rule: the list holds 10000 rules");
    c.review()->addRule("One more", "02_Forms", "form", "", 0, 0, 5);
    QCOMPARE(c.status(), QStringLiteral("Rule not added: the list already holds 10000 rules, the "
                                        "most it can keep. Remove a rule first."));
    QCOMPARE(c.rules()->rowCount(), int(maxRuleCount));
    QCOMPARE(rulesChanged.count(), 0);
    QCOMPARE(persistedRules().size(), maxRuleCount);

    // Adding from a file fills the list up to the limit and counts the rest as refused.
    c.review()->removeRule(0);
    c.review()->removeRule(0);
    const QString three = m_dir.filePath("three.json");
    QVERIFY(TestFiles::writeBytes(three, R"([{"name":"A","category":"C","fileContains":"a"},
                                             {"name":"B","category":"C","fileContains":"b"},
                                             {"name":"D","category":"C","fileContains":"d"}])"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Refused 1 rule\\(s\\) of .*: the list holds at most "
                                            "10000$"));
    c.review()->addRulesFrom(QUrl::fromLocalFile(three));
    QCOMPARE(c.status(), QStringLiteral("Added 2 rule(s); refused 1 that exceed the limits."));
    QCOMPARE(c.rules()->rowCount(), int(maxRuleCount));
    QCOMPARE(c.rules()->ruleList().last().name, QStringLiteral("B"));

    // What is saved is what the next start uses: all of it.
    m_controller.reset();
    m_controller = std::make_unique<AppController>(ControllerFolder::rulesAndSettings());
    QCOMPARE(m_controller->rules()->rowCount(), int(maxRuleCount));
    QCOMPARE(m_controller->rules()->ruleList().last().name, QStringLiteral("B"));

    // A text too long to be kept is refused when it is added, not dropped at the next start.
    m_controller->review()->removeRule(0);
    m_controller->review()->addRule("Long", "02_Forms", QString(maxRuleTextChars + 1, u'x'), "", 0,
                                    0, 5);
    QCOMPARE(m_controller->status(),
             QStringLiteral("Rule not added: its texts may have at most 4096 characters."));
    QCOMPARE(m_controller->rules()->rowCount(), int(maxRuleCount) - 1);
}

QTEST_GUILESS_MAIN(TestRuleCommands)
#include "tst_rulecommands.moc"
