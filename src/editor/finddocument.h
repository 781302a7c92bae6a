#pragma once

#include <QString>

// One document a search looks in, as the editors show it: lines and indexes count from 0,
// indexes in characters of the line.
class FindDocument
{
public:
    virtual ~FindDocument() = default;

    virtual QString filePath() const = 0;
    // Whether the document is that file, by any name of it.
    virtual bool refersTo(const QString &path) const = 0;
    virtual void cursorAt(int &line, int &index) const = 0;
    virtual bool hasSelection() const = 0;
    virtual void selectionStartAt(int &line, int &index) const = 0;
    // Selects the first match from a place (the cursor on an empty match), wrapping at the
    // document's end when asked; false when there is none. The next match follows from it.
    virtual bool findFirstMatch(const QString &text,
                                bool regex,
                                bool caseSensitive,
                                bool wholeWords,
                                bool wrap,
                                bool forward,
                                int line,
                                int index)
        = 0;
    virtual bool findNextMatch() = 0;
    // Replaces the selected match (with the groups of a regular expression): how long, in
    // characters, the match was and what replaced it is.
    struct Replaced
    {
        int matched = 0;
        int replacement = 0;
    };
    virtual Replaced replaceMatch(const QString &text) = 0;
    // The place one character after (or before) a line and index, across line ends.
    virtual void stepPosition(int &line, int &index, bool forward) const = 0;
    // The place after the last character.
    virtual void endAt(int &line, int &index) const = 0;
    virtual QString wholeText() const = 0;
    // The whole text at once, as one step to undo.
    virtual void replaceWholeText(const QString &text) = 0;
};
