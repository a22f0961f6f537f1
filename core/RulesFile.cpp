#include "core/RulesFile.h"

#include <QFile>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessavo {

namespace {

QString stringOf(const QJsonObject& object, QLatin1StringView key)
{
    return object.value(key).toString();
}

// A JSON number truncated toward zero to 64 bits. Values beyond the range are clamped, NaN and
// non-numbers read as 0.
qint64 int64Of(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return 0;
    const QVariant stored = value.toVariant();
    if (stored.typeId() == QMetaType::LongLong)
        return stored.toLongLong();

    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (std::isnan(number))
        return 0;
    if (number >= limit)
        return std::numeric_limits<qint64>::max();
    if (number <= -limit)
        return std::numeric_limits<qint64>::min();
    return qint64(number);
}

// A later optional key: absent is unset, another type is unset and counted.
QString optionalString(const QJsonObject& object, QLatin1StringView key, int& wrongTypes)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return {};
    if (!value.isString()) {
        ++wrongTypes;
        return {};
    }
    return value.toString();
}

QStringList optionalTerms(const QJsonObject& object, QLatin1StringView key, int& wrongTypes)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return {};
    if (!value.isArray()) {
        ++wrongTypes;
        return {};
    }
    QStringList terms;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (element.isString())
            terms.append(element.toString());
        else
            ++wrongTypes;
    }
    return terms;
}

bool optionalBool(const QJsonObject& object, QLatin1StringView key, int& wrongTypes)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return false;
    if (!value.isBool()) {
        ++wrongTypes;
        return false;
    }
    return value.toBool();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool withinTextLimit(const Rule& rule)
{
    for (const QString* text : {&rule.id, &rule.name, &rule.category, &rule.fileContains,
                                &rule.textContains, &rule.titleContains}) {
        if (text->size() > maxRuleTextChars)
            return false;
    }
    for (const QStringList* list :
         {&rule.textAnyOf, &rule.textAllOf, &rule.textNoneOf, &rule.fileAnyOf, &rule.fileNoneOf}) {
        if (list->size() > maxRuleTerms)
            return false;
        for (const QString& term : *list) {
            if (term.size() > maxRuleTextChars)
                return false;
        }
    }
    return true;
}

RuleReading ruleFromJson(const QJsonObject& object)
{
    RuleReading reading;
    Rule& rule = reading.rule;
    rule.id = stringOf(object, QLatin1StringView("id"));
    rule.name = stringOf(object, QLatin1StringView("name"));
    rule.category = stringOf(object, QLatin1StringView("category"));
    rule.enabled = object.value(QLatin1StringView("enabled")).toBool(true);
    rule.priority = object.value(QLatin1StringView("priority")).toInt(100);
    rule.fileContains = stringOf(object, QLatin1StringView("fileContains"));
    rule.textContains = stringOf(object, QLatin1StringView("textContains"));
    rule.minPages = object.value(QLatin1StringView("minPages")).toInt(0);
    rule.maxPages = object.value(QLatin1StringView("maxPages")).toInt(0);
    rule.minBytes = int64Of(object, QLatin1StringView("minBytes"));
    rule.maxBytes = int64Of(object, QLatin1StringView("maxBytes"));
    int& wrong = reading.wrongTypes;
    rule.titleContains = optionalString(object, QLatin1StringView("titleContains"), wrong);
    rule.textAnyOf = optionalTerms(object, QLatin1StringView("textAnyOf"), wrong);
    rule.textAllOf = optionalTerms(object, QLatin1StringView("textAllOf"), wrong);
    rule.textNoneOf = optionalTerms(object, QLatin1StringView("textNoneOf"), wrong);
    rule.fileAnyOf = optionalTerms(object, QLatin1StringView("fileAnyOf"), wrong);
    rule.fileNoneOf = optionalTerms(object, QLatin1StringView("fileNoneOf"), wrong);
    rule.wholeWords = optionalBool(object, QLatin1StringView("wholeWords"), wrong);
    reading.valid = isValid(rule);
    if (rule.id.isEmpty())
        rule.id = newRuleId();
    return reading;
}

namespace {

// The valid rules of the array and the values they left unset for their type.
QList<Rule> validRulesOf(const QJsonArray& array, int& wrongTypes)
{
    QList<Rule> rules;
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            continue;
        RuleReading reading = ruleFromJson(element.toObject());
        if (reading.valid) {
            wrongTypes += reading.wrongTypes;
            rules.append(std::move(reading.rule));
        }
    }
    return rules;
}

} // namespace

QList<Rule> rulesFromJson(const QJsonArray& array)
{
    int wrongTypes = 0;
    return validRulesOf(array, wrongTypes);
}

QJsonObject ruleToJson(const Rule& rule)
{
    QJsonObject object{
        {QStringLiteral("id"), rule.id.isEmpty() ? newRuleId() : rule.id},
        {QStringLiteral("name"), rule.name},
        {QStringLiteral("category"), rule.category},
        {QStringLiteral("enabled"), rule.enabled},
        {QStringLiteral("priority"), rule.priority},
        {QStringLiteral("fileContains"), rule.fileContains},
        {QStringLiteral("textContains"), rule.textContains},
        {QStringLiteral("minPages"), rule.minPages},
        {QStringLiteral("maxPages"), rule.maxPages},
        {QStringLiteral("minBytes"), double(rule.minBytes)},
        {QStringLiteral("maxBytes"), double(rule.maxBytes)},
    };
    if (!rule.titleContains.isEmpty())
        object.insert(QStringLiteral("titleContains"), rule.titleContains);
    const std::pair<const char*, const QStringList*> lists[] = {
        {"textAnyOf", &rule.textAnyOf},   {"textAllOf", &rule.textAllOf},
        {"textNoneOf", &rule.textNoneOf}, {"fileAnyOf", &rule.fileAnyOf},
        {"fileNoneOf", &rule.fileNoneOf},
    };
    for (const auto& [key, list] : lists) {
        if (!list->isEmpty())
            object.insert(QLatin1StringView(key), QJsonArray::fromStringList(*list));
    }
    if (rule.wholeWords)
        object.insert(QStringLiteral("wholeWords"), true);
    return object;
}

QJsonArray rulesToJson(const QList<Rule>& rules)
{
    QJsonArray array;
    for (const Rule& rule : rules)
        array.append(ruleToJson(rule));
    return array;
}

QJsonArray rulesArrayOf(const QJsonDocument& document)
{
    if (document.isObject())
        return document.object().value(QLatin1StringView("rules")).toArray();
    if (document.isArray())
        return document.array();
    return {};
}

QByteArray rulesDocument(const QList<Rule>& rules)
{
    const QJsonObject root{
        {QStringLiteral("schemaVersion"), 1},
        {QStringLiteral("rules"), rulesToJson(rules)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QList<Rule> readRulesDocument(const QByteArray& bytes)
{
    return readRulesWithinLimits(bytes).rules;
}

RulesReading readRulesWithinLimits(const QByteArray& bytes)
{
    RulesReading reading;
    for (const Rule& rule :
         validRulesOf(rulesArrayOf(QJsonDocument::fromJson(bytes)), reading.wrongTypes)) {
        if (!withinTextLimit(rule))
            ++reading.refusedTooLong;
        else if (reading.rules.size() >= maxRuleCount)
            ++reading.refusedTooMany;
        else
            reading.rules.append(rule);
    }
    return reading;
}

RulesFileBytes readRulesFileBytes(const QString& path)
{
    RulesFileBytes result;
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that opening a pipe without a writer returns at once.
    const int fd =
        name.isEmpty() ? -1 : ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = name.isEmpty() ? ENOENT : errno;
        result.missing = error == ENOENT;
        result.error = systemError(error);
        return result;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        result.error = systemError(errno);
    } else if (!S_ISREG(status.st_mode)) {
        result.error = QStringLiteral("not a regular file");
    } else if (status.st_size > maxRulesFileBytes) {
        result.error = QStringLiteral("larger than 16 MiB");
    } else {
        // Read at most one byte beyond the limit: a file that grows meanwhile is refused too.
        QByteArray bytes;
        bytes.reserve(qsizetype(status.st_size) + 1);
        char block[65536];
        while (bytes.size() <= maxRulesFileBytes) {
            const size_t want = size_t(
                std::min<qint64>(qint64(sizeof block), maxRulesFileBytes + 1 - bytes.size()));
            const ssize_t got = ::read(fd, block, want);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result.error = systemError(errno);
                break;
            }
            if (got == 0)
                break;
            bytes.append(block, qsizetype(got));
        }
        if (result.error.isEmpty() && bytes.size() > maxRulesFileBytes)
            result.error = QStringLiteral("larger than 16 MiB");
        if (result.error.isEmpty()) {
            result.bytes = std::move(bytes);
            result.ok = true;
        }
    }
    ::close(fd);
    return result;
}

} // namespace Tessavo
