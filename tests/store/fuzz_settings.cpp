// libFuzzer harness for the settings reader (built only with clang; see tests/CMakeLists.txt).
// The input is taken as settings.json: reading never fails in a harmful way, a language that
// reaches the recogniser is a plain language code, and what is read comes back when written.
#include "store/SettingsFile.h"
#include "support/FuzzPromise.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using Tessavo::Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Tessavo::Store;
    static QTemporaryDir folder;
    require(folder.isValid(), "a scratch folder");
    const QString path = folder.filePath(QStringLiteral("settings.json"));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input written");
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const SettingsReading reading = readSettingsFile(path);
    if (qint64(size) > maxSettingsFileBytes) {
        require(!reading.ok, "a file beyond the limit is refused");
        return 0;
    }
    require(reading.ok || !reading.error.isEmpty(), "a refusal says why");
    const Settings& settings = reading.settings;
    require(settings.language.isEmpty() || isLanguageCode(settings.language),
            "only language codes");
    require(settings.language.size() <= maxLanguageChars, "language within the limit");
    if (!reading.ok)
        return 0;
    require(writeSettingsFile(path, settings).ok, "settings are written");
    const SettingsReading again = readSettingsFile(path);
    require(again.ok && again.settings == settings, "written settings read back the same");
    return 0;
}
