#include "ui/SettingsFile.h"

#include "core/PrivateFile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace Tessavo::Ui {

namespace {

const QString recogniseKey = QStringLiteral("recogniseScansDuringImport");
const QString languageKey = QStringLiteral("recognitionLanguage");

bool isCodeCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

} // namespace

bool isLanguageCode(const QString& language)
{
    if (language.isEmpty() || language.size() > maxLanguageChars)
        return false;
    for (const QString& part : language.split(u'+')) {
        if (part.isEmpty() || !std::all_of(part.begin(), part.end(), isCodeCharacter))
            return false;
    }
    return true;
}

SettingsReading readSettingsFile(const QString& path)
{
    SettingsReading reading;
    if (path.isEmpty()) {
        reading.missing = true;
        return reading;
    }
    const PrivateRead file = readPrivateFile(path, maxSettingsFileBytes);
    if (!file.ok) {
        reading.missing = file.missing;
        reading.error = file.error;
        return reading;
    }
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        reading.error = QStringLiteral("not a settings file");
        return reading;
    }
    const QJsonObject object = document.object();
    reading.settings.recogniseDuringImport = object.value(recogniseKey).toBool(false);
    const QString language = object.value(languageKey).toString();
    if (isLanguageCode(language))
        reading.settings.language = language;
    reading.ok = true;
    return reading;
}

QByteArray settingsDocument(const RecognitionSettings& settings)
{
    return QJsonDocument(QJsonObject{{recogniseKey, settings.recogniseDuringImport},
                                     {languageKey, settings.language}})
        .toJson();
}

Status writeSettingsFile(const QString& path, const RecognitionSettings& settings)
{
    const Status folder = makePrivateFolder(QFileInfo(path).absolutePath());
    if (!folder.ok)
        return Status::failure(QStringLiteral("its folder cannot be used: %1").arg(folder.error));
    return writePrivateFile(path, settingsDocument(settings));
}

} // namespace Tessavo::Ui
