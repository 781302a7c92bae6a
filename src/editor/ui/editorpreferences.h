#pragma once

#include <QStringList>
#include <QVariant>

class QSettings;
class QsciScintilla;

// The editor behaviours the user chooses (line numbers, indentation, brace matching, white
// space, wrapping, folding), kept in the "Text Editor Display Settings" group.
class EditorPreferences
{
public:
    // Applies the stored preferences to an editor, with the editors' own defaults for those
    // never stored.
    static void apply(QsciScintilla *editor, QSettings &store);
    // The one set of defaults, for the editors and the settings dialog alike: what a user who
    // never changed a preference sees.
    static QVariant defaultValue(const char *key);
};
