#include "core/FileNames.h"

#include <QSet>

namespace Tessavo {

namespace {

const QString forbiddenCharacters = QStringLiteral("\\/:*?\"<>|");

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

} // namespace

bool isReservedDeviceName(const QString& name)
{
    static const QSet<QString> devices = [] {
        QSet<QString> names{QStringLiteral("CON"),    QStringLiteral("PRN"),
                            QStringLiteral("AUX"),    QStringLiteral("NUL"),
                            QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
        // COM0 to COM9 and LPT0 to LPT9, and the superscript digits Windows also reserves.
        const QString digits = QStringLiteral("0123456789¹²³");
        for (const QChar digit : digits) {
            names.insert(QStringLiteral("COM") + digit);
            names.insert(QStringLiteral("LPT") + digit);
        }
        return names;
    }();
    const qsizetype dot = name.indexOf(u'.');
    QString stem = dot < 0 ? name : name.left(dot);
    while (stem.endsWith(u' '))
        stem.chop(1);
    return devices.contains(stem.toUpper());
}

QString nameKey(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C)
        .toCaseFolded()
        .normalized(QString::NormalizationForm_C);
}

qsizetype nameLength(const QString& name)
{
    qsizetype length = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        ++length;
    }
    return length;
}

bool isPlainNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u' ' || u == u'-' || u == u'_' || u == u'.' || u == u'(' || u == u')';
}

PlainNameFault plainNameFault(const QString& name)
{
    if (name.isEmpty())
        return PlainNameFault::Empty;
    for (const QChar c : name) {
        if (isControl(c) || forbiddenCharacters.contains(c))
            return PlainNameFault::ForbiddenCharacter;
    }
    for (const QChar c : name) {
        if (!isPlainNameCharacter(c))
            return PlainNameFault::NotPlain;
    }
    if (name.startsWith(u'.'))
        return PlainNameFault::LeadingPeriod;
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return PlainNameFault::TrailingPeriodOrSpace;
    if (isReservedDeviceName(name))
        return PlainNameFault::DeviceName;
    return PlainNameFault::None;
}

QString plainNameFaultText(PlainNameFault fault)
{
    switch (fault) {
    case PlainNameFault::None:
        return {};
    case PlainNameFault::Empty:
        return QStringLiteral("is empty");
    case PlainNameFault::ForbiddenCharacter:
        return QStringLiteral("contains one of \\ / : * ? \" < > | or a control character");
    case PlainNameFault::NotPlain:
        return QStringLiteral("contains a character outside letters, digits, space and "
                              "- _ . ( )");
    case PlainNameFault::LeadingPeriod:
        return QStringLiteral("starts with a period");
    case PlainNameFault::TrailingPeriodOrSpace:
        return QStringLiteral("ends with a period or a space");
    case PlainNameFault::DeviceName:
        return QStringLiteral("is a name Windows reserves for a device");
    }
    return {};
}

} // namespace Tessavo
