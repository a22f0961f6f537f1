// Typing into the review list's filter at 10,000 documents: the time from a key to a laid-out
// list, per keystroke (median and worst), for a plain name filter, with a decision filter and with
// the list sorted by name. Compared with a bare loop over the names (the least any filter costs).
// Run on demand: build/tests/bench_reviewfilter
#include "BenchTiming.h"
#include "flows/DocumentList.h"
#include "ui/DocumentListModel.h"
#include "ui/ReviewListModel.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>
#include <cstdio>

using namespace Tessavo;

namespace {

constexpr int documentCount = 10000;

QList<DocumentRecord> tenderRecords()
{
    static const QStringList words = {
        "Cover",      "letter",    "Bid",         "bond",     "Pricing", "schedule", "Method",
        "statement",  "Insurance", "certificate", "Appendix", "Drawing", "Résumé",   "Référence",
        "Technical",  "proposal",  "Lot",         "Form",     "Annex",   "Contract", "Bill",
        "quantities", "Programme", "Safety",      "plan",     "Quality", "Équipe",   "Site"};
    static const QStringList categories = {"01_Solicitation", "02_Forms",      "03_Pricing",
                                           "04_Technical",    "05_References", "08_Other"};
    QRandomGenerator random(20261209);
    QList<DocumentRecord> records;
    for (int d = 0; d < documentCount; ++d) {
        DocumentRecord r;
        QStringList name;
        for (int w = 0; w < 3 + int(random.bounded(4)); ++w)
            name << Bench::pick(random, words);
        r.fileName = name.join(QLatin1Char(' ')) + QStringLiteral(" %1.pdf").arg(d);
        r.sourcePath = QStringLiteral("/srv/tender/Lot %1/%2").arg(d % 12).arg(r.fileName);
        r.sha256 = QByteArray::number(d).rightJustified(64, '0');
        r.state = Ready;
        r.pages = 1 + int(random.bounded(80));
        r.sizeBytes = 1000 + random.bounded(5000000);
        r.suggestion.category = Bench::pick(random, categories);
        r.suggestion.conflict = random.bounded(10) == 0;
        r.decision = Decision(random.bounded(4));
        records.append(r);
    }
    return records;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Flows::DocumentList list;
    list.setRecords(tenderRecords());
    Ui::DocumentListModel documents(&list);
    Ui::ReviewListModel shown;
    shown.setDocuments(&documents);

    // A list view as the page has, with rows of about the page's height.
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("shown"), &shown);
    engine.loadData(R"(
        import QtQuick
        Window {
            width: 700; height: 560; visible: true
            ListView {
                objectName: "view"; anchors.fill: parent; spacing: 8; model: shown
                delegate: Rectangle {
                    required property string fileName
                    required property string folder
                    required property string category
                    width: ListView.view.width; height: 110; border.width: 1
                    Column { Text { text: fileName } Text { text: folder } Text { text: category } }
                }
            }
        })");
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* view = engine.rootObjects().constFirst()->findChild<QQuickItem*>(QStringLiteral("view"));
    const auto layOut = [view] {
        QMetaObject::invokeMethod(view, "forceLayout");
    };
    layOut();

    std::printf("%d documents\n", documentCount);
    // The first key makes the folded names the filter compares with.
    const double first = Bench::millisecondsOf([&] {
        shown.setSearchText(QStringLiteral("p"));
        layOut();
    });
    std::printf("%-34s %6.2f ms\n", "first keystroke", first);
    shown.setSearchText(QString());
    layOut();

    const QString typed = QStringLiteral("pricing schedule lot");
    const auto typeAll = [&](const char* what) {
        QList<double> times;
        for (int round = 0; round < 3; ++round) {
            for (int n = 0; n <= typed.size(); ++n) { // every prefix, then back to nothing
                times.append(Bench::millisecondsOf([&] {
                    shown.setSearchText(typed.left(n == typed.size() ? 0 : n + 1));
                    layOut();
                }));
            }
        }
        std::printf("%-34s median %6.2f ms  worst %6.2f ms  (%lld keystrokes, %d rows shown at the "
                    "end of a word)\n",
                    what, Bench::median(times), *std::max_element(times.cbegin(), times.cend()),
                    static_cast<long long>(times.size()), shown.count());
    };
    typeAll("name filter, import order");
    shown.setShow(Ui::ReviewListModel::Undecided);
    typeAll("name filter, undecided only");
    shown.setShow(Ui::ReviewListModel::All);
    shown.setSortKey(Ui::ReviewListModel::ByName);
    typeAll("name filter, sorted by name");

    const double sorting = Bench::millisecondsOf([&] {
        shown.setSortKey(Ui::ReviewListModel::BySize);
        layOut();
    });
    std::printf("%-34s %6.2f ms\n", "sort by size", sorting);

    // The floor: a bare case-insensitive scan of the names.
    QList<double> bare;
    int hits = 0;
    for (int n = 1; n <= typed.size(); ++n) {
        const QString part = typed.left(n);
        bare.append(Bench::millisecondsOf([&] {
            for (const DocumentRecord& r : list.records())
                hits += r.fileName.contains(part, Qt::CaseInsensitive) ? 1 : 0;
        }));
    }
    std::printf("%-34s median %6.2f ms\n", "bare scan of the names", Bench::median(bare));
    return hits < 0 ? 1 : 0;
}
