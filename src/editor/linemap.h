#pragma once

#include <QStringList>

// Where the lines of a text went when another program changed it: what both versions share at
// their start and at their end keeps its place, which moves the lines after a change by what
// it added or took away. A line within the change goes to the same line of the new version
// when that is the only one there with its text and so was it before; otherwise it keeps its
// distance from the change's start, within the lines the change left (a line taken away goes
// to the line that now follows the change). Lines count from 0.
class LineMap
{
public:
    LineMap(const QStringList &before, const QStringList &after);

    // The line of the new version that line of the old one became.
    int map(int line) const;

    // Marks whose lines (from 1) held texts, where only those texts of the old version are
    // known (a file closed, or left by a session): a mark stays while its line still holds its
    // text, else goes to the nearest line that does, else stays. Texts compare without the
    // blanks around them; a blank one never moves its mark.
    static QList<int> followTexts(const QList<int> &lines,
                                  const QStringList &texts,
                                  const QStringList &now);

private:
    QStringList m_before;
    QStringList m_after;
    int m_prefix = 0;
    int m_suffix = 0;
};
