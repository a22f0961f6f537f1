// libFuzzer harness for the stored-session loader (built only with clang; see
// tests/CMakeLists.txt). The input is taken as a session.sqlite file and opened as at a start.
// SQLite itself reads any file; the point is the decoding of rows: blobs, counts and page texts
// stay within the limits, whatever the file claims, and an unusable file is set aside rather than
// loaded.
#include "store/SessionStore.h"
#include "support/FuzzPromise.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using Tessavo::Fuzz::require;

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Tessavo::Store::SessionStore;
    static QTemporaryDir folder;
    require(folder.isValid(), "a scratch folder");
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    const QString path = folder.filePath(QStringLiteral("session.sqlite"));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly), "the input written");
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QList<Tessavo::DocumentRecord> records;
    {
        SessionStore store(path);
        if (!store.open(records))
            return 0;
        qint64 listChars = 0;
        for (const Tessavo::DocumentRecord& r : std::as_const(records)) {
            require(r.pages >= 0 && r.pages <= SessionStore::maxPages, "pages within the limit");
            require(r.pageTexts.size() <= r.pages, "no more page texts than pages");
            require(r.textPages >= 0 && r.textPages <= r.pages, "text pages within the pages");
            require(r.state >= 0 && r.state <= 3 && r.decision >= 0 && r.decision <= 3,
                    "known state and decision");
            require(!r.sourcePath.isEmpty(), "every record has a path");
            qint64 chars = 0;
            for (const Tessavo::PageText& page : r.pageTexts) {
                require(page.pageIndex >= 0 && page.pageIndex < r.pages, "page index in range");
                require(page.charCount == page.text.size(), "page counts match");
                chars += page.text.size();
            }
            require(chars <= SessionStore::maxTextChars, "document text within the limit");
            listChars += chars;
        }
        require(2 * listChars <= SessionStore::maxListTextBytes, "list text within the limit");
        require(store.pending().size() <= 1'000'000, "queue within the limit");
        // What was read is written back and read again unchanged.
        QList<int> rows;
        for (int row = 0; row < records.size(); ++row)
            rows.append(row);
        if (!store.readOnly() && !store.saveRecords(records, rows))
            return 0;
    }
    SessionStore again(path);
    QList<Tessavo::DocumentRecord> reread;
    require(again.open(reread), "a store written by us opens again");
    require(again.setAsidePath().isEmpty(), "a store written by us is not set aside");
    require(reread == records, "a store written by us reads back the same");
    return 0;
}
