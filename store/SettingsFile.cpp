#include "store/SettingsFile.h"

#include "core/PrivateFile.h"
#include "logging/LogPath.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace Tessavo::Store {

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
    const PrivateJsonRead file =
        readPrivateJsonObject(path, maxSettingsFileBytes, QStringLiteral("not a settings file"));
    if (!file.ok) {
        reading.missing = file.missing;
        reading.error = file.error;
        return reading;
    }
    const QJsonObject& object = file.object;
    const QJsonValue recognise = object.value(recogniseKey);
    if (recognise.isBool())
        reading.settings.recogniseDuringImport = recognise.toBool();
    else if (!recognise.isUndefined())
        reading.ignored.append(QStringLiteral("%1 is not true or false").arg(recogniseKey));
    // An empty language is the default, written so by a window that kept it.
    const QJsonValue language = object.value(languageKey);
    if (language.isString() && isLanguageCode(language.toString()))
        reading.settings.language = language.toString();
    else if (!language.isUndefined() && language != QJsonValue(QString()))
        reading.ignored.append(QStringLiteral("%1 is not a language code").arg(languageKey));
    reading.ok = true;
    return reading;
}

QByteArray settingsDocument(const Settings& settings)
{
    return QJsonDocument(QJsonObject{{recogniseKey, settings.recogniseDuringImport},
                                     {languageKey, settings.language}})
        .toJson();
}

Status writeSettingsFile(const QString& path, const Settings& settings)
{
    const Status folder = makePrivateFolder(QFileInfo(path).absolutePath());
    if (!folder.ok)
        return Status::failure(QStringLiteral("its folder cannot be used: %1").arg(folder.error));
    return writePrivateFile(path, settingsDocument(settings));
}

Settings loadSettings(const QString& path)
{
    const SettingsReading reading = readSettingsFile(path);
    if (!reading.ok && !reading.missing)
        qWarning().noquote() << QStringLiteral("The settings file %1 could not be read (%2); "
                                               "using the default settings")
                                    .arg(Logging::pathForLog(path), reading.error);
    for (const QString& why : reading.ignored)
        qWarning().noquote() << QStringLiteral("A setting in %1 was ignored (%2); using its "
                                               "default")
                                    .arg(Logging::pathForLog(path), why);
    return reading.settings;
}

Status saveSettings(const QString& path, const Settings& settings)
{
    if (path.isEmpty())
        return Status::success();
    const Status written = writeSettingsFile(path, settings);
    if (!written.ok)
        qWarning().noquote() << QStringLiteral("Cannot write settings to %1: %2")
                                    .arg(Logging::pathForLog(path), written.error);
    return written;
}

} // namespace Tessavo::Store
