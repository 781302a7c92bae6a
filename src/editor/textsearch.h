#pragma once

#include <QRegularExpression>
#include <QString>

// Find and replace on a document's text, with the editor's own rules: a regular expression in
// the editor's syntax (groups written \( and \), words bounded by \< and \>, matches within one
// line), plain text matched with or without case and as a whole word or not.
namespace TextSearch {

// The Qt expression that matches what the editor's find matches with those options. Invalid
// when the editor's expression is (an unbalanced group, an unclosed set).
QRegularExpression expression(const QString &findText,
                              bool regex,
                              bool caseSensitive,
                              bool wholeWords);

// The text that replaces one match: for a regular expression, \0 stands for the whole match,
// \1 to \9 for its groups and \\ for a backslash; plain replacements are taken as they stand.
QString replacementFor(const QRegularExpressionMatch &match, const QString &replaceText, bool regex);

// Replaces every match from the start of the text to its end, each search going on after the
// last match (after an empty match, from the next character on); the number of replacements.
int replaceAll(QString &text,
               const QRegularExpression &expression,
               const QString &replaceText,
               bool regex);

} // namespace TextSearch
