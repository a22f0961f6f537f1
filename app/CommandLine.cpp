#include "app/CommandLine.h"

#include "core/RawPath.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringList>

namespace Tessavo::App {

namespace {

// An argument whose bytes do not survive a QString is handed to the parser as this mark and its
// index: a decoded argument never holds a lone low surrogate, so the mark cannot be typed.
constexpr char16_t rawMark = 0xDC00;

QString parserText(const QByteArray& argument, qsizetype index)
{
    if (roundTrips(argument))
        return QFile::decodeName(argument);
    return QChar(rawMark) + QString::number(index);
}

// The bytes behind what the parser returned.
QByteArray argumentBytes(const QString& text, const QList<QByteArray>& arguments)
{
    if (text.startsWith(QChar(rawMark))) {
        bool number = false;
        const qsizetype index = text.mid(1).toLongLong(&number);
        if (number && index >= 0 && index < arguments.size())
            return arguments.at(index);
    }
    return QFile::encodeName(text);
}

// What an error message shows of an argument.
QString shown(const QString& text, const QList<QByteArray>& arguments)
{
    return QString::fromLocal8Bit(argumentBytes(text, arguments));
}

CommandLineParse failed(const QString& error)
{
    return {false, error, {}};
}

const QStringList valueOptions = {QStringLiteral("--import"),     QStringLiteral("--export"),
                                  QStringLiteral("--rules"),      QStringLiteral("--verify"),
                                  QStringLiteral("--learn-from"), QStringLiteral("--profile")};

// The options every Qt application takes (-platform offscreen, -style Basic, ...): the application
// object reads and removes them, so they are no concern of this program's own options.
const QStringList qtOptionsWithValue = {
    QStringLiteral("-platform"),
    QStringLiteral("-platformpluginpath"),
    QStringLiteral("-platformtheme"),
    QStringLiteral("-plugin"),
    QStringLiteral("-qwindowgeometry"),
    QStringLiteral("-qwindowicon"),
    QStringLiteral("-qwindowtitle"),
    QStringLiteral("-display"),
    QStringLiteral("-geometry"),
    QStringLiteral("-title"),
    QStringLiteral("-name"),
    QStringLiteral("-session"),
    QStringLiteral("-style"),
    QStringLiteral("-stylesheet"),
};
const QStringList qtFlags = {QStringLiteral("-reverse"), QStringLiteral("-nograb"),
                             QStringLiteral("-dograb"), QStringLiteral("-testability")};

// The arguments without Qt's own options. Where this program's option takes a value, the next
// argument is that value, whatever it looks like, and stays.
QStringList withoutQtOptions(const QStringList& texts)
{
    QStringList kept;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString& text = texts.at(i);
        if (i > 0 && text == u"--") {
            kept.append(texts.mid(i));
            break;
        }
        if (i > 0 && qtOptionsWithValue.contains(text) && i + 1 < texts.size()) {
            ++i;
            continue;
        }
        if (i > 0 && (qtFlags.contains(text) || text.startsWith(u"-qmljsdebugger=")))
            continue;
        kept.append(text);
        if (i > 0 && (valueOptions.contains(text) && i + 1 < texts.size()))
            kept.append(texts.at(++i));
    }
    return kept;
}

// Whether the last argument is an option that takes a value, as the parser reads the arguments
// from the left: not when it is itself the value of the option before it.
bool lastLacksItsValue(const QStringList& texts)
{
    for (qsizetype i = 1; i < texts.size(); ++i) {
        if (texts.at(i) == u"--")
            return false;
        if (valueOptions.contains(texts.at(i))) {
            if (i == texts.size() - 1)
                return true;
            ++i; // its value, whatever it looks like
        }
    }
    return false;
}

} // namespace

CommandLineParse parseCommandLine(const QList<QByteArray>& arguments)
{
    QStringList texts;
    for (qsizetype i = 0; i < arguments.size(); ++i)
        texts.append(parserText(arguments.at(i), i));
    if (texts.isEmpty())
        texts.append(QStringLiteral("tessavo"));
    texts = withoutQtOptions(texts);
    // An option with a value that ends the command line has none: it counts as not given.
    std::optional<QString> withoutValue;
    if (lastLacksItsValue(texts))
        withoutValue = texts.takeLast();

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const auto flag = [&parser](const char* name, bool hidden = false) {
        QCommandLineOption option(QString::fromLatin1(name));
        if (hidden)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    };
    const auto valued = [&parser](const char* name, const char* valueName) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(),
                                            QString::fromLatin1(valueName)));
    };
    flag("help");
    flag("version");
    flag("batch");
    flag("accept-clear");
    flag("ocr");
    flag("smoke-test");
    // An inspection worker is started with this option first, and never gets this far; anywhere
    // else it means nothing.
    flag("inspection-worker", true);
    valued("import", "PATH");
    valued("export", "FOLDER");
    valued("rules", "FILE");
    valued("verify", "PATH");
    valued("learn-from", "BUNDLE");
    valued("profile", "FILE");

    if (!parser.parse(texts)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return failed(parser.errorText());
        const QString name = unknown.first();
        return failed(QStringLiteral("unknown option %1%2; tessavo --help lists the options")
                          .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                               shown(name, arguments)));
    }

    CommandLineParse result{true, QString(), {}};
    CommandLine& line = result.commandLine;
    const auto value = [&](const char* name) -> std::optional<QByteArray> {
        const QStringList values = parser.values(QString::fromLatin1(name));
        if (values.isEmpty())
            return std::nullopt;
        return argumentBytes(values.first(), arguments);
    };
    line.importPath = value("import");
    line.exportFolder = value("export");
    line.rulesFile = value("rules");
    line.verifyPath = value("verify");
    line.profileFile = value("profile");
    for (const QString& bundle : parser.values(QStringLiteral("learn-from"))) {
        if (bundle.isEmpty())
            return failed(QStringLiteral("--learn-from needs a bundle folder or ZIP file"));
        line.learnFrom.append(argumentBytes(bundle, arguments));
    }
    if (withoutValue == QStringLiteral("--learn-from"))
        return failed(QStringLiteral("--learn-from needs a bundle folder or ZIP file"));
    line.acceptClear = parser.isSet(QStringLiteral("accept-clear"));
    line.recognise = parser.isSet(QStringLiteral("ocr"));
    line.smokeTest = parser.isSet(QStringLiteral("smoke-test"));
    for (const QString& positional : parser.positionalArguments()) {
        const QByteArray bytes = argumentBytes(positional, arguments);
        // A misspelt option with a byte that is not UTF-8 reached the parser as a mark.
        if (positional.startsWith(QChar(rawMark)) && bytes.startsWith('-'))
            return failed(QStringLiteral("unknown option %1; tessavo --help lists the options")
                              .arg(QString::fromLocal8Bit(bytes)));
        line.positionals.append(bytes);
    }

    const bool batch = parser.isSet(QStringLiteral("batch"));
    const bool profileMissing = (line.profileFile && line.profileFile->isEmpty()) ||
                                withoutValue == QStringLiteral("--profile");
    const bool verify =
        parser.isSet(QStringLiteral("verify")) || withoutValue == QStringLiteral("--verify");
    if (parser.isSet(QStringLiteral("help"))) {
        line.mode = CommandLine::Mode::Help;
    } else if (parser.isSet(QStringLiteral("version"))) {
        line.mode = CommandLine::Mode::Version;
    } else if (batch && verify) {
        return failed(QStringLiteral("--batch and --verify cannot be combined"));
    } else if (verify) {
        if (!line.verifyPath || line.verifyPath->isEmpty())
            return failed(QStringLiteral("--verify needs a bundle folder or ZIP file"));
        if (profileMissing)
            return failed(QStringLiteral("--profile needs a FILE"));
        line.mode = CommandLine::Mode::Verify;
    } else if (batch) {
        if (!line.importPath || line.importPath->isEmpty())
            return failed(QStringLiteral("--batch needs --import PATH"));
        if (!line.exportFolder || line.exportFolder->isEmpty())
            return failed(QStringLiteral("--batch needs --export FOLDER"));
        if ((line.rulesFile && line.rulesFile->isEmpty()) ||
            withoutValue == QStringLiteral("--rules"))
            return failed(QStringLiteral("--rules needs a FILE"));
        if (profileMissing)
            return failed(QStringLiteral("--profile needs a FILE"));
        line.mode = CommandLine::Mode::Batch;
    } else if (line.profileFile || profileMissing) {
        return failed(QStringLiteral("--profile works with --batch or --verify"));
    }
    return result;
}

QList<QByteArray> rawArgumentsOf(int argc, char** argv)
{
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return arguments;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: tessavo [options]\n"
        "Organises the PDF files of a tender package and exports them as a bundle: a folder with\n"
        "manifest.csv, index.pdf and originals/, plus a ZIP of it beside the folder.\n"
        "\n"
        "With the window (the default):\n"
        "  --import PATH     import a PDF file or a folder of PDFs at start, as if it had been\n"
        "                    dropped on the Import page\n"
        "  --export FOLDER   once the import has finished, export the bundle into FOLDER, once;\n"
        "                    the window stays open\n"
        "  --ocr             recognise the text of scanned PDFs as they are imported, so rules\n"
        "                    can classify them (needs tesseract-ocr-eng); --export waits for it\n"
        "  --learn-from BUNDLE\n"
        "                    learn from the filed documents of a past bundle (its folder or\n"
        "                    ZIP) to suggest a category where no rule matches; repeatable\n"
        "  --smoke-test      check the main window 400 ms after start and exit: 0 when it loaded\n"
        "                    cleanly, 12 when it is hidden or too small, 13 on QML warnings\n"
        "\n"
        "Batch mode, without a window or display:\n"
        "  tessavo --batch --import PATH --export FOLDER [--rules FILE] [--accept-clear]\n"
        "                [--ocr] [--learn-from BUNDLE]... [--profile FILE]\n"
        "  --batch           import PATH, classify, export into FOLDER, then exit\n"
        "  --rules FILE      classify with the rules in FILE for this run only; the stored\n"
        "                    rules are neither read nor changed\n"
        "  --accept-clear    accept every clear suggestion, as \"Accept all clear suggestions\"\n"
        "                    does\n"
        "  --ocr             recognise the text of scanned PDFs before classifying them\n"
        "  --learn-from BUNDLE\n"
        "                    learn from a past bundle for this run only; repeatable\n"
        "  --profile FILE    check the package against the upload rules of a submission\n"
        "                    profile (JSON, see README) and store the copies under names fitted\n"
        "                    to its name rules; each rule still broken is named on a\n"
        "                    \"not ready:\" line and the exit code is 3\n"
        "  Standard output carries only the bundle folder and the ZIP path, one per line;\n"
        "  progress and a summary go to standard error. Exit codes: 0 every PDF found was\n"
        "  exported; 3 the bundle was written but some files were unreadable, encrypted,\n"
        "  ignored or left out by the folder walk; 1 nothing could be exported or the export\n"
        "  failed; 2 usage error; 3 also when the bundle breaks a rule of --profile. What the\n"
        "  walk leaves out is named on \"skipped:\" lines: hidden files and folders and\n"
        "  earlier bundles (these keep exit code 0), links to outside the imported folder or\n"
        "  to nothing, folders deeper than 256 levels.\n"
        "\n"
        "Verification:\n"
        "  tessavo --verify PATH [--profile FILE]\n"
        "  --verify PATH     check a bundle folder (with the ZIP beside it) or a bundle ZIP: the\n"
        "                    ZIP's structure and CRC-32s, manifest.csv, the size and SHA-256 of\n"
        "                    every original, and that index.pdf opens. Prints one line per\n"
        "                    problem and a summary; exit code 0 when everything holds, 1 when\n"
        "                    not, 2 for a usage error.\n"
        "  --profile FILE    also check the bundle against a submission profile: sizes, names,\n"
        "                    file count, states, decisions, required categories and the ZIP's\n"
        "                    size; exit code 3 when it breaks a rule but is otherwise sound\n"
        "\n"
        "  --help            show this text and exit\n"
        "  --version         print the version and exit\n"
        "\n"
        "Options are matched exactly and only their first occurrence counts; the argument after\n"
        "an option is its value, whatever it looks like. An unknown option is a usage error\n"
        "(exit code 2).\n");
}

} // namespace Tessavo::App
