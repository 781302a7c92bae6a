#include "buildrecords.h"

#include "core/xmlchildren.h"

#include <QDomElement>

namespace BuildXml {

bool flag(const QDomElement &element, const QString &attribute)
{
    return element.attribute(attribute) == QLatin1String("1");
}

} // namespace BuildXml

QList<OptionSetting> OptionSetting::readAll(const QDomElement &parent)
{
    QList<OptionSetting> settings;
    for (const QDomElement &e : childElements(parent, QStringLiteral("OPTION"))) {
        OptionSetting setting;
        setting.name = e.attribute(QStringLiteral("NAME"));
        setting.value = e.attribute(QStringLiteral("VALUE"));
        setting.tool = e.attribute(QStringLiteral("TOOL"));
        setting.id = e.attribute(QStringLiteral("ID"));
        setting.isDefault = BuildXml::flag(e, QStringLiteral("DEFAULT"));
        settings.append(setting);
    }
    return settings;
}

QList<EnvironmentEntry> EnvironmentEntry::readAll(const QDomElement &parent)
{
    QList<EnvironmentEntry> entries;
    for (const QDomElement &e : childElements(parent, QStringLiteral("ENVIRONMENT"))) {
        EnvironmentEntry entry;
        entry.name = e.attribute(QStringLiteral("NAME"));
        entry.value = e.attribute(QStringLiteral("VALUE"));
        entry.set = e.attribute(QStringLiteral("ACTION")) == QLatin1String("SET");
        if (!entry.set)
            entry.separator = e.attribute(QStringLiteral("SEPARATOR"));
        entries.append(entry);
    }
    return entries;
}

QString EnvironmentEntry::applyTo(const QString &current) const
{
    if (set || current.isEmpty())
        return value;
    return current + separator + value;
}
