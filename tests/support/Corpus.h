#pragma once

// The corpus of published tender texts (tests/bench/corpus): each document's truth and its pages
// as records, as an import would list them. A form feed separates pages.

#include "core/DocumentRecord.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

namespace Tessavo::Corpus {

struct Document {
    QString id;
    QString category; // what the document does, from truth.csv
    bool training = false;
    DocumentRecord record;
};

inline QList<Document> load(const QString& dir)
{
    QList<Document> list;
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
        Document d{fields[0], fields[2], fields[3] == QLatin1String("training"), {}};
        d.record.sourcePath = dir + u'/' + fields[1];
        d.record.fileName = fields[1];
        d.record.sha256 = fields[0].toLatin1();
        d.record.state = Ready;
        const QStringList pages = QString::fromUtf8(text.readAll()).split(u'\f');
        for (int i = 0; i < pages.size(); ++i)
            d.record.pageTexts.append({i, int(pages[i].size()), pages[i]});
        d.record.pages = d.record.textPages = int(pages.size());
        list.append(d);
    }
    return list;
}

} // namespace Tessavo::Corpus
