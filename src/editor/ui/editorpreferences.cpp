#include "editorpreferences.h"

#include <Qsci/qsciscintilla.h>

#include <QSettings>

namespace {

struct Preference
{
    const char *key;
    QVariant defaultValue;
};

const QList<Preference> &preferences()
{
    static const QList<Preference> table{
        {"Highlight current line", true},
        {"Display line numbers", true},
        {"Brace matching", 1},
        {"Indent width", 4},
        {"Tab indents", true},
        {"Tab width", 4},
        {"Tabs for indents", true},
        {"Auto indent", true},
        {"Backspace unindents", false},
        {"Display indentation guides", false},
        {"Whitespaces visibility", 0},
        {"Wrap mode", 0},
        {"Folding style", 3},
    };
    return table;
}

} // namespace

QVariant EditorPreferences::defaultValue(const char *key)
{
    for (const Preference &preference : preferences()) {
        if (qstrcmp(preference.key, key) == 0)
            return preference.defaultValue;
    }
    return QVariant();
}

void EditorPreferences::apply(QsciScintilla *editor, QSettings &store)
{
    store.beginGroup(QStringLiteral("Text Editor Display Settings"));
    const auto flag = [&store](const char *key) {
        return store.value(QLatin1String(key), defaultValue(key)).toBool();
    };
    const auto number = [&store](const char *key) {
        bool ok = false;
        const int value = store.value(QLatin1String(key), defaultValue(key)).toInt(&ok);
        return ok ? value : defaultValue(key).toInt();
    };
    editor->setCaretLineVisible(flag("Highlight current line"));
    if (flag("Display line numbers")) {
        editor->setMarginWidth(1, 50);
        editor->setMarginLineNumbers(1, true);
    } else {
        editor->setMarginWidth(1, 0);
        editor->setMarginLineNumbers(1, false);
    }
    switch (number("Brace matching")) {
    case 0:
        editor->setBraceMatching(QsciScintilla::NoBraceMatch);
        break;
    case 2:
        editor->setBraceMatching(QsciScintilla::SloppyBraceMatch);
        break;
    default:
        editor->setBraceMatching(QsciScintilla::StrictBraceMatch);
    }
    editor->setIndentationWidth(number("Indent width"));
    editor->setTabIndents(flag("Tab indents"));
    editor->setTabWidth(number("Tab width"));
    editor->setIndentationsUseTabs(flag("Tabs for indents"));
    editor->setAutoIndent(flag("Auto indent"));
    editor->setBackspaceUnindents(flag("Backspace unindents"));
    editor->setIndentationGuides(flag("Display indentation guides"));
    switch (number("Whitespaces visibility")) {
    case 1:
        editor->setWhitespaceVisibility(QsciScintilla::WsVisible);
        break;
    case 2:
        editor->setWhitespaceVisibility(QsciScintilla::WsVisibleAfterIndent);
        break;
    default:
        editor->setWhitespaceVisibility(QsciScintilla::WsInvisible);
    }
    switch (number("Wrap mode")) {
    case 1:
        editor->setWrapMode(QsciScintilla::WrapWord);
        break;
    case 2:
        editor->setWrapMode(QsciScintilla::WrapCharacter);
        break;
    default:
        editor->setWrapMode(QsciScintilla::WrapNone);
    }
    editor->setEolMode(QsciScintilla::EolUnix);
    editor->setEolVisibility(false);
    const int folding = number("Folding style");
    const QsciScintilla::FoldStyle styles[] = {QsciScintilla::NoFoldStyle,
                                               QsciScintilla::PlainFoldStyle,
                                               QsciScintilla::CircledFoldStyle,
                                               QsciScintilla::BoxedFoldStyle,
                                               QsciScintilla::CircledTreeFoldStyle,
                                               QsciScintilla::BoxedTreeFoldStyle};
    editor->setFolding(folding >= 0 && folding <= 5 ? styles[folding]
                                                    : QsciScintilla::BoxedFoldStyle,
                       2);
    store.endGroup();
}
