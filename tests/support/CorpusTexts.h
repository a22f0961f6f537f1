#pragma once

#include "core/DocumentRecord.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// The texts of published tender documents in tests/bench/corpus, as documents the tests classify
// and learn from: a form feed separates pages, truth.csv names each one's file name, category and
// half (training or held-out). A test that uses it defines TESSAVO_CORPUS_DIR.
namespace CorpusTexts {

struct Document {
    QString id;
    QString fileName;
    QString category;
    bool training = false;
    QString text;                   // as published, pages separated by form feeds
    Tessavo::DocumentRecord record; // inspected as Ready, its SHA-256 standing in as the id
};

inline QList<Document> all()
{
    static const QList<Document> documents = [] {
        QList<Document> list;
        const QString dir = QStringLiteral(TESSAVO_CORPUS_DIR);
        QFile truth(dir + QStringLiteral("/truth.csv"));
        if (!truth.open(QIODevice::ReadOnly | QIODevice::Text))
            return list;
        truth.readLine();
        while (!truth.atEnd()) {
            const QStringList fields = QString::fromUtf8(truth.readLine()).trimmed().split(u',');
            if (fields.size() < 5)
                continue;
            QFile text(dir + u'/' + fields[0] + QStringLiteral(".txt"));
            if (!text.open(QIODevice::ReadOnly))
                continue;
            Document d{fields[0],
                       fields[1],
                       fields[2],
                       fields[3] == QLatin1String("training"),
                       QString::fromUtf8(text.readAll()),
                       {}};
            d.record.fileName = fields[1];
            d.record.sha256 = fields[0].toLatin1();
            d.record.state = Tessavo::Ready;
            const QStringList pages = d.text.split(u'\f');
            for (int i = 0; i < pages.size(); ++i)
                d.record.pageTexts.append({i, int(pages[i].size()), pages[i]});
            d.record.pages = d.record.textPages = int(pages.size());
            list.append(d);
        }
        return list;
    }();
    return documents;
}

inline Document byId(const QString& id)
{
    for (const Document& d : all()) {
        if (d.id == id)
            return d;
    }
    return {};
}

inline QList<Document> half(bool training)
{
    QList<Document> chosen;
    for (const Document& d : all()) {
        if (d.training == training)
            chosen.append(d);
    }
    return chosen;
}

} // namespace CorpusTexts
