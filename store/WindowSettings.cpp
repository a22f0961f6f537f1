#include "store/WindowSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <optional>

namespace Tessavo::Store {

namespace {

const QString placementKey = QStringLiteral("window");
const QString screenKey = QStringLiteral("screen");
const QString xKey = QStringLiteral("x");
const QString yKey = QStringLiteral("y");
const QString widthKey = QStringLiteral("width");
const QString heightKey = QStringLiteral("height");
const QString maximizedKey = QStringLiteral("maximized");
const QString appearanceKey = QStringLiteral("appearance");
const QString exportFolderKey = QStringLiteral("exportFolder");
const QString lastExportKey = QStringLiteral("lastExport");
const QString directoryKey = QStringLiteral("directory");
const QString csvKey = QStringLiteral("manifest");
const QString pdfKey = QStringLiteral("index");
const QString zipKey = QStringLiteral("zip");
const QString exportedKey = QStringLiteral("exported");
const QString skippedKey = QStringLiteral("skipped");
const QString leftOutKey = QStringLiteral("originalsLeftOut");
const QString warningsKey = QStringLiteral("warnings");
const QString volumesKey = QStringLiteral("volumes");
// A ZIP in more volumes than this is not one this program wrote.
constexpr qsizetype maxRememberedVolumes = 10000;

// A whole number within [low, high], or nothing: fractions, strings, NaN and huge values are not
// taken.
std::optional<int> boundedInt(const QJsonValue& value, int low, int high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < low || number > high)
        return std::nullopt;
    return static_cast<int>(number);
}

std::optional<QString> boundedText(const QJsonValue& value)
{
    if (!value.isString() || value.toString().size() > maxRememberedTextChars)
        return std::nullopt;
    return value.toString();
}

void readPlacement(const QJsonValue& value, WindowPlacement& placement, QStringList& ignored)
{
    if (value.isUndefined())
        return;
    const QJsonObject object = value.toObject();
    const std::optional<int> x =
        boundedInt(object.value(xKey), -maxWindowCoordinate, maxWindowCoordinate);
    const std::optional<int> y =
        boundedInt(object.value(yKey), -maxWindowCoordinate, maxWindowCoordinate);
    const std::optional<int> width = boundedInt(object.value(widthKey), 1, maxWindowCoordinate);
    const std::optional<int> height = boundedInt(object.value(heightKey), 1, maxWindowCoordinate);
    const std::optional<QString> screen = boundedText(object.value(screenKey));
    if (!value.isObject() || !x || !y || !width || !height || !screen) {
        ignored.append(QStringLiteral("%1 is not a window's place").arg(placementKey));
        return;
    }
    placement.screen = *screen;
    placement.geometry = QRect(*x, *y, *width, *height);
    placement.maximized = object.value(maximizedKey).toBool(false);
}

void readLastExport(const QJsonValue& value, RememberedExport& last, QStringList& ignored)
{
    if (value.isUndefined())
        return;
    const QJsonObject object = value.toObject();
    RememberedExport remembered;
    bool usable = value.isObject();
    const auto text = [&](const QString& key, QString& into) {
        const std::optional<QString> read = boundedText(object.value(key));
        usable = usable && read.has_value();
        into = read.value_or(QString());
    };
    const auto count = [&](const QString& key, int& into) {
        const std::optional<int> read = boundedInt(object.value(key), 0, 100000000);
        usable = usable && read.has_value();
        into = read.value_or(0);
    };
    text(directoryKey, remembered.directory);
    text(csvKey, remembered.csv);
    text(pdfKey, remembered.pdf);
    text(zipKey, remembered.zip);
    count(exportedKey, remembered.exported);
    count(skippedKey, remembered.skipped);
    count(leftOutKey, remembered.originalsLeftOut);
    const QJsonArray warnings = object.value(warningsKey).toArray();
    usable =
        usable && object.value(warningsKey).isArray() && warnings.size() <= maxRememberedWarnings;
    for (const QJsonValue& warning : warnings) {
        const std::optional<QString> read = boundedText(warning);
        usable = usable && read.has_value();
        remembered.warnings.append(read.value_or(QString()));
    }
    // Only a ZIP written in volumes lists them.
    const QJsonValue volumes = object.value(volumesKey);
    usable = usable && (volumes.isUndefined() ||
                        (volumes.isArray() && volumes.toArray().size() <= maxRememberedVolumes));
    for (const QJsonValue& volume : volumes.toArray()) {
        const std::optional<QString> read = boundedText(volume);
        usable = usable && read.has_value();
        remembered.volumes.append(read.value_or(QString()));
    }
    if (!usable || remembered.directory.isEmpty()) {
        ignored.append(QStringLiteral("%1 is not a bundle's description").arg(lastExportKey));
        return;
    }
    last = remembered;
}

// As many warnings as the file keeps, each cut to the length it takes back.
QJsonArray keptWarnings(const QStringList& warnings)
{
    QJsonArray kept;
    for (const QString& warning : warnings.mid(0, maxRememberedWarnings))
        kept.append(warning.left(maxRememberedTextChars));
    return kept;
}

} // namespace

QString appearanceName(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Light:
        return QStringLiteral("light");
    case Appearance::Dark:
        return QStringLiteral("dark");
    case Appearance::FollowDesktop:
        break;
    }
    return QStringLiteral("desktop");
}

Appearance appearanceNamed(const QString& name)
{
    if (name == QLatin1String("light"))
        return Appearance::Light;
    if (name == QLatin1String("dark"))
        return Appearance::Dark;
    return Appearance::FollowDesktop;
}

WindowSettingsReading readWindowSettingsFile(const QString& path)
{
    return readJsonSettings<WindowSettings>(
        path, maxWindowSettingsFileBytes, QStringLiteral("not a window settings file"),
        [](const QJsonObject& object, WindowSettings& settings, QStringList& ignored) {
            readPlacement(object.value(placementKey), settings.placement, ignored);

            const QJsonValue appearance = object.value(appearanceKey);
            if (appearance.isString() &&
                appearanceName(appearanceNamed(appearance.toString())) == appearance.toString())
                settings.appearance = appearanceNamed(appearance.toString());
            else if (!appearance.isUndefined())
                ignored.append(
                    QStringLiteral("%1 is not light, dark or desktop").arg(appearanceKey));

            const QJsonValue folder = object.value(exportFolderKey);
            if (const std::optional<QString> text = boundedText(folder))
                settings.exportFolder = *text;
            else if (!folder.isUndefined())
                ignored.append(QStringLiteral("%1 is not a folder").arg(exportFolderKey));

            readLastExport(object.value(lastExportKey), settings.lastExport, ignored);
        });
}

QByteArray windowSettingsDocument(const WindowSettings& settings)
{
    QJsonObject object{{appearanceKey, appearanceName(settings.appearance)},
                       {exportFolderKey, settings.exportFolder}};
    const WindowPlacement& placement = settings.placement;
    if (placement.known())
        object.insert(placementKey, QJsonObject{{screenKey, placement.screen},
                                                {xKey, placement.geometry.x()},
                                                {yKey, placement.geometry.y()},
                                                {widthKey, placement.geometry.width()},
                                                {heightKey, placement.geometry.height()},
                                                {maximizedKey, placement.maximized}});
    const RememberedExport& last = settings.lastExport;
    if (last.known()) {
        QJsonObject bundle{{directoryKey, last.directory},
                           {csvKey, last.csv},
                           {pdfKey, last.pdf},
                           {zipKey, last.zip},
                           {exportedKey, last.exported},
                           {skippedKey, last.skipped},
                           {leftOutKey, last.originalsLeftOut},
                           {warningsKey, keptWarnings(last.warnings)}};
        if (!last.volumes.isEmpty())
            bundle.insert(volumesKey,
                          QJsonArray::fromStringList(last.volumes.mid(0, maxRememberedVolumes)));
        object.insert(lastExportKey, bundle);
    }
    return QJsonDocument(object).toJson();
}

Status writeWindowSettingsFile(const QString& path, const WindowSettings& settings)
{
    return writeSettingsDocument(path, windowSettingsDocument(settings));
}

WindowSettings loadWindowSettings(const QString& path)
{
    return loadedSettings(readWindowSettingsFile(path), path, QStringLiteral("window settings"));
}

Status saveWindowSettings(const QString& path, const WindowSettings& settings)
{
    return saveSettingsDocument(path, QStringLiteral("window settings"),
                                windowSettingsDocument(settings));
}

} // namespace Tessavo::Store
