#pragma once

#include "core/ui/displayformats.h"

class SettingsStore;

// The display formats as the settings store holds them, read each time they are asked for so
// that a change in the settings shows at once.
class StoredDisplayFormats : public DisplayFormats
{
public:
    explicit StoredDisplayFormats(SettingsStore &settings);

    QTextCharFormat displayFormat(const QString &group, const QString &item) const override;
    bool usesDefaultColour(const QString &group,
                           const QString &item,
                           bool foreground) const override;

private:
    SettingsStore &m_settings;
};
