#include "storeddisplayformats.h"

#include "displaysettings.h"

#include "core/settingsstore.h"

StoredDisplayFormats::StoredDisplayFormats(SettingsStore &settings)
    : m_settings(settings)
{}

QTextCharFormat StoredDisplayFormats::displayFormat(const QString &group, const QString &item) const
{
    return DisplaySettings::format(DisplaySettings::readGroup(m_settings.settings(), group), item);
}

bool StoredDisplayFormats::usesDefaultColour(const QString &group,
                                             const QString &item,
                                             bool foreground) const
{
    return DisplaySettings::usesDefaultColour(DisplaySettings::readGroup(m_settings.settings(),
                                                                         group),
                                              item,
                                              foreground);
}
