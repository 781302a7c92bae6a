#include "textsearch.h"

namespace TextSearch {

namespace {

// Matches never reach over a line end: these stand for "any character of a line".
const QLatin1String lineEnds("\\r\\n");

// A set, from just after its "[" to its "]": the editor's sets take a backslash as itself and
// "]" or "-" first as themselves; a complemented set never takes a line end. Empty when the
// set is not closed.
QString translateSet(const QString &text, int &i)
{
    QString set = QStringLiteral("[");
    if (i < text.size() && text.at(i) == QLatin1Char('^')) {
        set += QLatin1Char('^');
        set += lineEnds;
        ++i;
    }
    bool first = true;
    while (i < text.size()) {
        const QChar c = text.at(i++);
        if (c == QLatin1Char(']') && !first)
            return set + QLatin1Char(']');
        first = false;
        if (c == QLatin1Char('\\') || c == QLatin1Char('[') || c == QLatin1Char(']')
            || c == QLatin1Char('^'))
            set += QLatin1Char('\\');
        set += c;
    }
    return QString();
}

} // namespace

QRegularExpression expression(const QString &findText,
                              bool regex,
                              bool caseSensitive,
                              bool wholeWords)
{
    // Letters and digits of every script are word characters ("größe" is one word).
    const QRegularExpression::PatternOptions options
        = QRegularExpression::UseUnicodePropertiesOption
          | (caseSensitive ? QRegularExpression::NoPatternOption
                           : QRegularExpression::CaseInsensitiveOption);
    if (!regex) {
        QString pattern = QRegularExpression::escape(findText);
        if (wholeWords)
            pattern = QStringLiteral("(?<!\\w)") + pattern + QStringLiteral("(?!\\w)");
        return QRegularExpression(pattern, options);
    }
    QString pattern;
    int open = 0;
    const QRegularExpression invalid(QStringLiteral("("));
    for (int i = 0; i < findText.size();) {
        const QChar c = findText.at(i++);
        if (c == QLatin1Char('.')) {
            pattern += QStringLiteral("[^\\r\\n]");
        } else if (c == QLatin1Char('^')) {
            // A line's start: the text's start, or after a line end that is not the CR of a CRLF.
            pattern += QStringLiteral("(?:(?<![^\\r\\n])(?!(?<=\\r)\\n))");
        } else if (c == QLatin1Char('$')) {
            pattern += QStringLiteral("(?=[\\r\\n]|\\z)");
        } else if (c == QLatin1Char('[')) {
            const QString set = translateSet(findText, i);
            if (set.isEmpty())
                return invalid;
            pattern += set;
        } else if (c == QLatin1Char('*') || c == QLatin1Char('+') || c == QLatin1Char('?')) {
            pattern += c;
        } else if (c != QLatin1Char('\\')) {
            pattern += QRegularExpression::escape(QString(c));
        } else if (i == findText.size()) {
            pattern += QStringLiteral("\\\\");
        } else {
            const QChar e = findText.at(i++);
            switch (e.unicode()) {
            case '(':
                ++open;
                pattern += QLatin1Char('(');
                break;
            case ')':
                if (--open < 0)
                    return invalid;
                pattern += QLatin1Char(')');
                break;
            case '<':
                pattern += QStringLiteral("\\b(?=\\w)");
                break;
            case '>':
                pattern += QStringLiteral("\\b(?<=\\w)");
                break;
            case 'd':
            case 'w':
            case 'S':
                pattern += QLatin1Char('\\') + e;
                break;
            case 's':
                pattern += QStringLiteral("[^\\S\\r\\n]");
                break;
            case 'D':
                pattern += QStringLiteral("[^\\d\\r\\n]");
                break;
            case 'W':
                pattern += QStringLiteral("[^\\w\\r\\n]");
                break;
            case 'a':
                pattern += QStringLiteral("\\x07");
                break;
            case 'b':
                pattern += QStringLiteral("\\x08");
                break;
            case 'f':
                pattern += QStringLiteral("\\f");
                break;
            case 't':
                pattern += QStringLiteral("\\t");
                break;
            case 'v':
                pattern += QStringLiteral("\\x0b");
                break;
            case 'n':
            case 'r':
                // Lines are searched without their ends: these never match.
                pattern += QStringLiteral("(?!)");
                break;
            default:
                if (e >= QLatin1Char('1') && e <= QLatin1Char('9'))
                    pattern += QLatin1Char('\\') + e;
                else
                    pattern += QRegularExpression::escape(QString(e));
            }
        }
    }
    if (open != 0)
        return invalid;
    // A CR LF is one line end: nothing starts between its two characters (an empty match
    // there would have Replace All split it in two).
    return QRegularExpression(QStringLiteral("(?!(?<=\\r)\\n)") + pattern, options);
}

QString replacementFor(const QRegularExpressionMatch &match, const QString &replaceText, bool regex)
{
    if (!regex)
        return replaceText;
    QString result;
    for (int i = 0; i < replaceText.size(); ++i) {
        const QChar c = replaceText.at(i);
        if (c != QLatin1Char('\\') || i + 1 == replaceText.size()) {
            result += c;
            continue;
        }
        const QChar next = replaceText.at(i + 1);
        if (next >= QLatin1Char('0') && next <= QLatin1Char('9')) {
            result += match.captured(next.unicode() - '0');
            ++i;
            continue;
        }
        if (next == QLatin1Char('\\')) {
            result += next;
            ++i;
            continue;
        }
        result += c;
    }
    return result;
}

int replaceAll(QString &text,
               const QRegularExpression &expression,
               const QString &replaceText,
               bool regex)
{
    if (!expression.isValid() || expression.pattern().isEmpty())
        return 0;
    QString result;
    qsizetype copied = 0;
    int count = 0;
    for (auto it = expression.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(copied, match.capturedStart() - copied);
        result += replacementFor(match, replaceText, regex);
        copied = match.capturedEnd();
        ++count;
    }
    if (count == 0)
        return 0;
    result += QStringView(text).mid(copied);
    text = result;
    return count;
}

} // namespace TextSearch
