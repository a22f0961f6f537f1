#include "core/SubmissionProfile.h"

#include "core/RawPath.h"
#include "core/Rule.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

#include <cmath>

namespace Tessavo {

namespace {

namespace Key {
const QString name = QStringLiteral("name");
const QString maxFileBytes = QStringLiteral("maxFileBytes");
const QString maxTotalBytes = QStringLiteral("maxTotalBytes");
const QString maxFiles = QStringLiteral("maxFiles");
const QString maxNameLength = QStringLiteral("maxNameLength");
const QString plainNames = QStringLiteral("plainNames");
const QString allowEncrypted = QStringLiteral("allowEncrypted");
const QString requireText = QStringLiteral("requireText");
const QString requireDecided = QStringLiteral("requireDecided");
const QString requiredCategories = QStringLiteral("requiredCategories");
const QString zipVolumeBytes = QStringLiteral("zipVolumeBytes");
} // namespace Key

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("text");
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString wrongType(const QString& key, const QString& expected, const QJsonValue& found)
{
    return QStringLiteral("%1: expected %2, found %3").arg(key, expected, typeName(found));
}

// A key's value as a whole number from min to max, or why it is not one. A JSON number is a
// double: it is taken only when finite, integral and within the range, before any conversion.
struct [[nodiscard]] WholeNumber {
    bool ok = false;
    QString error;
    qint64 value = 0;
};

WholeNumber wholeNumber(const QString& key, const QJsonValue& value, qint64 min, qint64 max)
{
    if (!value.isDouble())
        return {false, wrongType(key, QStringLiteral("a whole number"), value), 0};
    const auto outside = [&](const QString& shown) {
        return WholeNumber{false,
                           QStringLiteral("%1: %2 is outside %3 to %4")
                               .arg(key, shown, QString::number(min), QString::number(max)),
                           0};
    };
    // A whole number the parser kept exactly is compared exactly.
    const QVariant exact = value.toVariant();
    if (exact.typeId() == QMetaType::LongLong) {
        const qint64 whole = exact.toLongLong();
        if (whole < min || whole > max)
            return outside(QString::number(whole));
        return {true, QString(), whole};
    }
    const double number = value.toDouble();
    const QString shown = QString::number(number, 'g', 16);
    if (!std::isfinite(number) || std::trunc(number) != number)
        return {false, QStringLiteral("%1: %2 is not a whole number").arg(key, shown), 0};
    if (number < double(min) || number > double(max))
        return outside(shown);
    return {true, QString(), qint64(number)};
}

} // namespace

NameLimits nameLimitsOf(const SubmissionProfile& profile)
{
    return NameLimits{profile.maxNameLength, profile.plainNames};
}

SubmissionProfileRead readSubmissionProfile(QByteArrayView json)
{
    SubmissionProfileRead read;
    const auto failed = [&read](const QString& why) {
        read.ok = false;
        read.error = why;
        read.warnings.clear();
        return read;
    };
    if (json.size() > maxProfileBytes)
        return failed(QStringLiteral("larger than %1 bytes").arg(maxProfileBytes));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("not valid JSON: %1 at byte %2")
                          .arg(parseError.errorString(), QString::number(parseError.offset)));
    if (!document.isObject())
        return failed(QStringLiteral("not a profile: the JSON is not an object"));
    const QJsonObject object = document.object();
    SubmissionProfile& profile = read.profile;

    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString& key = it.key();
        const QJsonValue value = it.value();
        if (value.isNull())
            continue; // the same as leaving the key out
        const auto whole = [&](qint64 min, qint64 max) {
            return wholeNumber(key, value, min, max);
        };
        const auto flag = [&](bool& field) {
            if (!value.isBool())
                return false;
            field = value.toBool();
            return true;
        };
        if (key == Key::name) {
            if (!value.isString())
                return failed(wrongType(key, QStringLiteral("text"), value));
            const QString name = value.toString();
            if (name.size() > maxProfileNameChars)
                return failed(
                    QStringLiteral("name: longer than %1 characters").arg(maxProfileNameChars));
            for (const QChar c : name) {
                if (c.category() == QChar::Other_Control)
                    return failed(QStringLiteral("name: contains a control character"));
            }
            profile.name = name;
        } else if (key == Key::maxFileBytes || key == Key::maxTotalBytes ||
                   key == Key::zipVolumeBytes) {
            const WholeNumber bytes = whole(1, maxProfileBytesValue);
            if (!bytes.ok)
                return failed(bytes.error);
            (key == Key::maxFileBytes    ? profile.maxFileBytes
             : key == Key::maxTotalBytes ? profile.maxTotalBytes
                                         : profile.zipVolumeBytes) = bytes.value;
        } else if (key == Key::maxFiles) {
            const WholeNumber files = whole(1, maxProfileFiles);
            if (!files.ok)
                return failed(files.error);
            profile.maxFiles = int(files.value);
        } else if (key == Key::maxNameLength) {
            const WholeNumber length = whole(1, maxProfileNameLength);
            if (!length.ok)
                return failed(length.error);
            profile.maxNameLength = int(length.value);
        } else if (key == Key::plainNames || key == Key::allowEncrypted ||
                   key == Key::requireText || key == Key::requireDecided) {
            bool& field = key == Key::plainNames       ? profile.plainNames
                          : key == Key::allowEncrypted ? profile.allowEncrypted
                          : key == Key::requireText    ? profile.requireText
                                                       : profile.requireDecided;
            if (!flag(field))
                return failed(wrongType(key, QStringLiteral("true or false"), value));
        } else if (key == Key::requiredCategories) {
            if (!value.isArray())
                return failed(wrongType(key, QStringLiteral("a list of categories"), value));
            const QStringList known = categoryList();
            for (const QJsonValue item : value.toArray()) {
                if (!item.isString())
                    return failed(wrongType(key, QStringLiteral("category names"), item));
                const QString category = item.toString();
                if (!known.contains(category))
                    return failed(
                        QStringLiteral("%1: \"%2\" is not one of the categories %3")
                            .arg(key, category.left(64), known.join(QStringLiteral(", "))));
                if (!profile.requiredCategories.contains(category))
                    profile.requiredCategories.append(category);
            }
        } else {
            read.warnings.append(QStringLiteral("unknown key \"%1\" ignored").arg(key.left(64)));
        }
    }
    read.ok = true;
    return read;
}

SubmissionProfileRead readSubmissionProfileFile(const QString& path)
{
    QFile file;
    if (const Status opened = openRegularForReading(file, QFile::encodeName(path), Links::Follow);
        !opened.ok) {
        SubmissionProfileRead read;
        read.error = opened.error;
        return read;
    }
    // One byte beyond the limit tells a file that is too large, also one that grows meanwhile.
    const QByteArray bytes = file.read(maxProfileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        SubmissionProfileRead read;
        read.error = file.errorString();
        return read;
    }
    return readSubmissionProfile(bytes);
}

QByteArray submissionProfileJson(const SubmissionProfile& profile)
{
    QJsonObject object;
    object.insert(Key::name, profile.name);
    const auto number = [&object](const QString& key, const auto& value) {
        if (value)
            object.insert(key, double(*value));
    };
    number(Key::maxFileBytes, profile.maxFileBytes);
    number(Key::maxTotalBytes, profile.maxTotalBytes);
    number(Key::maxFiles, profile.maxFiles);
    number(Key::maxNameLength, profile.maxNameLength);
    number(Key::zipVolumeBytes, profile.zipVolumeBytes);
    object.insert(Key::plainNames, profile.plainNames);
    object.insert(Key::allowEncrypted, profile.allowEncrypted);
    object.insert(Key::requireText, profile.requireText);
    object.insert(Key::requireDecided, profile.requireDecided);
    if (!profile.requiredCategories.isEmpty())
        object.insert(Key::requiredCategories,
                      QJsonArray::fromStringList(profile.requiredCategories));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

SubmissionProfile portableNamesProfile()
{
    SubmissionProfile profile;
    profile.name = QStringLiteral("Portable names only");
    return profile;
}

SubmissionProfile typicalPortalProfile()
{
    SubmissionProfile profile;
    profile.name = QStringLiteral("Typical tender portal");
    profile.maxNameLength = 50;
    profile.plainNames = true;
    profile.maxFileBytes = qint64(50) * 1000 * 1000; // "50 MB" as portals count it
    profile.requireText = true;
    profile.requireDecided = true;
    return profile;
}

QList<SubmissionProfile> builtInProfiles()
{
    return {portableNamesProfile(), typicalPortalProfile()};
}

} // namespace Tessavo
