#include "store/SettingsFile.h"

#include <QJsonDocument>
#include <QJsonObject>
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
    return readJsonSettings<Settings>(
        path, maxSettingsFileBytes, QStringLiteral("not a settings file"),
        [](const QJsonObject& object, Settings& settings, QStringList& ignored) {
            const QJsonValue recognise = object.value(recogniseKey);
            if (recognise.isBool())
                settings.recogniseDuringImport = recognise.toBool();
            else if (!recognise.isUndefined())
                ignored.append(QStringLiteral("%1 is not true or false").arg(recogniseKey));
            // An empty language is the default, written so by a window that kept it.
            const QJsonValue language = object.value(languageKey);
            if (language.isString() && isLanguageCode(language.toString()))
                settings.language = language.toString();
            else if (!language.isUndefined() && language != QJsonValue(QString()))
                ignored.append(QStringLiteral("%1 is not a language code").arg(languageKey));
        });
}

QByteArray settingsDocument(const Settings& settings)
{
    return QJsonDocument(QJsonObject{{recogniseKey, settings.recogniseDuringImport},
                                     {languageKey, settings.language}})
        .toJson();
}

Status writeSettingsFile(const QString& path, const Settings& settings)
{
    return writeSettingsDocument(path, settingsDocument(settings));
}

Settings loadSettings(const QString& path)
{
    return loadedSettings(readSettingsFile(path), path, QStringLiteral("settings"));
}

Status saveSettings(const QString& path, const Settings& settings)
{
    return saveSettingsDocument(path, QStringLiteral("settings"), settingsDocument(settings));
}

} // namespace Tessavo::Store
