#include "editorpreferences.h"

#include <Qsci/qsciscintilla.h>

#include <QSettings>

void EditorPreferences::apply(QsciScintilla *editor, QSettings &store)
{
    store.beginGroup(QStringLiteral("Text Editor Display Settings"));
    const auto flag = [&store](const char *key, bool fallback) {
        return store.value(QLatin1String(key), fallback).toBool();
    };
    const auto number = [&store](const char *key, int fallback) {
        bool ok = false;
        const int value = store.value(QLatin1String(key), fallback).toInt(&ok);
        return ok ? value : fallback;
    };
    editor->setCaretLineVisible(flag("Highlight current line", true));
    if (flag("Display line numbers", true)) {
        editor->setMarginWidth(1, 50);
        editor->setMarginLineNumbers(1, true);
    } else {
        editor->setMarginWidth(1, 0);
        editor->setMarginLineNumbers(1, false);
    }
    switch (number("Brace matching", 1)) {
    case 0:
        editor->setBraceMatching(QsciScintilla::NoBraceMatch);
        break;
    case 2:
        editor->setBraceMatching(QsciScintilla::SloppyBraceMatch);
        break;
    default:
        editor->setBraceMatching(QsciScintilla::StrictBraceMatch);
    }
    editor->setIndentationWidth(number("Indent width", 4));
    editor->setTabIndents(flag("Tab indents", true));
    editor->setTabWidth(number("Tab width", 4));
    editor->setIndentationsUseTabs(flag("Tabs for indents", true));
    editor->setAutoIndent(flag("Auto indent", true));
    editor->setBackspaceUnindents(flag("Backspace unindents", false));
    editor->setIndentationGuides(flag("Display indentation guides", false));
    switch (number("Whitespaces visibility", 0)) {
    case 1:
        editor->setWhitespaceVisibility(QsciScintilla::WsVisible);
        break;
    case 2:
        editor->setWhitespaceVisibility(QsciScintilla::WsVisibleAfterIndent);
        break;
    default:
        editor->setWhitespaceVisibility(QsciScintilla::WsInvisible);
    }
    switch (number("Wrap mode", 0)) {
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
    const int folding = number("Folding style", 3);
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
