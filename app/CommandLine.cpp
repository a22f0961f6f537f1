#include "app/CommandLine.h"

namespace Tessavo::App {

bool hasOption(const QStringList& arguments, const QString& option)
{
    return arguments.contains(option);
}

std::optional<QString> optionValue(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(at + 1);
}

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

QList<QByteArray> rawArgumentsOf(int argc, char** argv)
{
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return arguments;
}

std::optional<QByteArray> optionBytes(const QList<QByteArray>& rawArguments,
                                      const QByteArray& option)
{
    const qsizetype at = rawArguments.indexOf(option);
    if (at < 0 || at + 1 >= rawArguments.size())
        return std::nullopt;
    return rawArguments.at(at + 1);
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
        "  --smoke-test      check the main window 400 ms after start and exit: 0 when it loaded\n"
        "                    cleanly, 12 when it is hidden or too small, 13 on QML warnings\n"
        "\n"
        "Batch mode, without a window or display:\n"
        "  tessavo --batch --import PATH --export FOLDER [--rules FILE] [--accept-clear]\n"
        "                [--ocr]\n"
        "  --batch           import PATH, classify, export into FOLDER, then exit\n"
        "  --rules FILE      classify with the rules in FILE for this run only; the stored\n"
        "                    rules are neither read nor changed\n"
        "  --accept-clear    accept every clear suggestion, as \"Accept all clear suggestions\"\n"
        "                    does\n"
        "  --ocr             recognise the text of scanned PDFs before classifying them\n"
        "  Standard output carries only the bundle folder and the ZIP path, one per line;\n"
        "  progress and a summary go to standard error. Exit codes: 0 every PDF found was\n"
        "  exported; 3 the bundle was written but some files were unreadable, encrypted,\n"
        "  ignored or left out by the folder walk; 1 nothing could be exported or the export\n"
        "  failed; 2 usage error. What the walk leaves out is named on \"skipped:\" lines:\n"
        "  hidden files and folders and earlier bundles (these keep exit code 0), links to\n"
        "  outside the imported folder or to nothing, folders deeper than 256 levels.\n"
        "\n"
        "Verification:\n"
        "  tessavo --verify PATH\n"
        "  --verify PATH     check a bundle folder (with the ZIP beside it) or a bundle ZIP: the\n"
        "                    ZIP's structure and CRC-32s, manifest.csv, the size and SHA-256 of\n"
        "                    every original, and that index.pdf opens. Prints one line per\n"
        "                    problem and a summary; exit code 0 when everything holds, 1 when\n"
        "                    not, 2 for a usage error.\n"
        "\n"
        "  --help            show this text and exit\n"
        "  --version         print the version and exit\n"
        "\n"
        "Options are matched exactly and only their first occurrence counts; the argument after\n"
        "an option is its value, whatever it looks like.\n");
}

} // namespace Tessavo::App
