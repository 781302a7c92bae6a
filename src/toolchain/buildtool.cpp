#include "buildtool.h"

#include "core/mainservices.h"
#include "core/xmlchildren.h"

#include <QDomElement>

BuildTool::BuildTool(MainServices *owner, QObject *parent)
    : QObject(parent)
    , m_owner(servicesOf(owner))
{}

bool BuildTool::load(const QDomElement &element)
{
    m_file = element.attribute(QStringLiteral("FILE"));
    m_names = {element.attribute(QStringLiteral("NAME"))};
    for (const QDomElement &alias : childElements(element, QStringLiteral("ALIAS"))) {
        m_names.append(alias.attribute(QStringLiteral("NAME")));
    }
    for (const QDomElement &e : childElements(element, QStringLiteral("OPTION"))) {
        OptionDefinition option;
        option.name = e.attribute(QStringLiteral("NAME"));
        option.description = e.attribute(QStringLiteral("DESC"));
        option.kind = e.attribute(QStringLiteral("KIND"));
        option.tool = e.attribute(QStringLiteral("TOOL"));
        option.id = e.attribute(QStringLiteral("ID"));
        option.multiple = BuildXml::flag(e, QStringLiteral("MULTIPLE"));
        option.separator = e.attribute(QStringLiteral("SEPARATOR"));
        if (e.attribute(QStringLiteral("RADIX")) == QLatin1String("16"))
            option.radix = 16;
        const QString type = e.attribute(QStringLiteral("PARAM"));
        if (type.isEmpty()) {
            option.type = OptionDefinition::None;
        } else if (type == QLatin1String("NUMBER")) {
            option.type = OptionDefinition::Number;
        } else if (type == QLatin1String("STRING")) {
            option.type = OptionDefinition::String;
        } else if (type == QLatin1String("CHOICE")) {
            option.type = OptionDefinition::Choice;
            for (const QDomElement &p : childElements(e, QStringLiteral("PARAM"))) {
                option.choices.append({p.attribute(QStringLiteral("VALUE")),
                                       p.attribute(QStringLiteral("DESC")),
                                       BuildXml::flag(p, QStringLiteral("DEFAULT"))});
            }
        } else {
            m_owner.output().error(tr("Unknows option parameter type %1").arg(type));
            return false;
        }
        m_options.append(option);
    }
    return true;
}

const OptionDefinition *BuildTool::optionWithId(const QString &id) const
{
    for (const OptionDefinition &option : m_options) {
        if (!option.id.isEmpty() && option.id.compare(id, Qt::CaseInsensitive) == 0)
            return &option;
    }
    return nullptr;
}
