#include "buildmessageparser.h"

#include <QFileInfo>

void BuildMessageParser::setFormats(const QList<MessageFormat> &formats)
{
    m_formats.clear();
    for (const MessageFormat &format : formats)
        addFormat(format);
}

void BuildMessageParser::addFormat(const MessageFormat &format)
{
    if (format.value.isEmpty())
        return;
    for (const Compiled &known : m_formats) {
        if (known.format == format)
            return;
    }
    QRegularExpression expression(format.value);
    expression.optimize();
    m_formats.push_back({format, expression});
}

static QString trimmedOfBlanks(QString text)
{
    int start = 0;
    while (start < text.size()
           && (text.at(start) == QLatin1Char(' ') || text.at(start) == QLatin1Char('\t')))
        ++start;
    int end = text.size();
    while (end > start
           && (text.at(end - 1) == QLatin1Char(' ') || text.at(end - 1) == QLatin1Char('\t')))
        --end;
    return text.mid(start, end - start);
}

bool BuildMessageParser::parse(const QString &line,
                               const Resolver &resolve,
                               Position &position) const
{
    for (const Compiled &compiled : m_formats) {
        const QRegularExpressionMatch match = compiled.expression.match(line);
        if (!match.hasMatch())
            continue;
        Position found;
        bool converted = true;
        for (const MessageField &field : compiled.format.fields) {
            const QString captured = match.captured(field.position);
            if (field.name.isEmpty() || captured.isEmpty())
                continue;
            if (field.name == QLatin1String("FILENAME")) {
                found.file = captured;
            } else if (field.name == QLatin1String("LINE")
                       || field.name == QLatin1String("COLUMN")) {
                bool ok = false;
                const int number = captured.toInt(&ok);
                if (!ok) {
                    converted = false;
                    break;
                }
                (field.name == QLatin1String("LINE") ? found.line : found.column) = number
                                                                                    + field.offset;
            }
        }
        if (!converted || found.file.isEmpty())
            continue;
        found.file = trimmedOfBlanks(found.file);
        if (QFileInfo(found.file).isRelative()) {
            const QString resolved = resolve ? resolve(found.file) : QString();
            if (resolved.isEmpty())
                continue;
            found.file = resolved;
        }
        position = found;
        return true;
    }
    return false;
}

bool BuildMessageParser::matchesAny(const QString &line) const
{
    for (const Compiled &compiled : m_formats) {
        if (compiled.expression.match(line).hasMatch())
            return true;
    }
    return false;
}

MessageSeverity BuildMessageParser::severity(const QString &line)
{
    // The first such word that is followed as the compilers follow it ("warning:",
    // "warning 112:", "Warning[205]", "-Warning-") decides; a file named error.c says nothing.
    static const QRegularExpression
        word(QStringLiteral(
                 "\\b(fatal error|error|warning|note|message|info)(\\s*[:\\[-]|\\s+[0-9])"),
             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = word.match(line);
    if (!match.hasMatch())
        return MessageSeverity::Error;
    const QString found = match.captured(1).toLower();
    if (found == QLatin1String("warning"))
        return MessageSeverity::Warning;
    if (found.endsWith(QLatin1String("error")))
        return MessageSeverity::Error;
    return MessageSeverity::Note;
}
