#include "gdbmi.h"

namespace {

class Reader
{
public:
    explicit Reader(const QByteArray &text)
        : m_text(text)
    {}

    bool atEnd() const { return m_at >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text.at(m_at); }
    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++m_at;
        return true;
    }

    QString cString()
    {
        QByteArray bytes;
        if (!take('"'))
            return QString();
        while (!atEnd()) {
            char c = m_text.at(m_at++);
            if (c == '"')
                break;
            if (c == '\\' && !atEnd()) {
                c = m_text.at(m_at++);
                switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'r':
                    c = '\r';
                    break;
                default:
                    if (c >= '0' && c <= '7') {
                        // Octal escapes of bytes the debugger does not print as they are.
                        int value = c - '0';
                        for (int i = 0; i < 2 && peek() >= '0' && peek() <= '7'; ++i)
                            value = value * 8 + (m_text.at(m_at++) - '0');
                        c = char(value);
                    }
                    break;
                }
            }
            bytes.append(c);
        }
        return QString::fromUtf8(bytes);
    }

    QString name()
    {
        const qsizetype start = m_at;
        while (!atEnd() && peek() != '=' && peek() != ',' && peek() != '}' && peek() != ']')
            ++m_at;
        return QString::fromLatin1(m_text.mid(start, m_at - start));
    }

    QVariant value()
    {
        if (peek() == '"')
            return cString();
        if (take('{')) {
            QVariantMap tuple;
            while (!atEnd() && !take('}')) {
                const QString key = name();
                take('=');
                tuple.insert(key, value());
                take(',');
            }
            return tuple;
        }
        if (take('[')) {
            QVariantList list;
            while (!atEnd() && !take(']')) {
                if (peek() != '"' && peek() != '{' && peek() != '[') {
                    name(); // a named result in a list: its value counts
                    take('=');
                }
                list.append(value());
                take(',');
            }
            return list;
        }
        // Not a value: skip to the next separator so that parsing goes on.
        name();
        return QVariant();
    }

    QVariantMap results()
    {
        QVariantMap map;
        while (take(',')) {
            const QString key = name();
            if (!take('='))
                break;
            map.insert(key, value());
        }
        return map;
    }

    qsizetype m_at = 0;

private:
    const QByteArray &m_text;
};

} // namespace

MiRecord MiRecord::parse(const QByteArray &raw)
{
    MiRecord record;
    QByteArray line = raw;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.trimmed() == "(gdb)") {
        record.kind = Prompt;
        return record;
    }
    qsizetype at = 0;
    while (at < line.size() && line.at(at) >= '0' && line.at(at) <= '9')
        ++at;
    if (at > 0)
        record.token = line.left(at).toInt();
    if (at >= line.size())
        return record;
    const char marker = line.at(at);
    const QByteArray rest = line.mid(at + 1);
    Reader reader(rest);
    switch (marker) {
    case '~':
    case '@':
    case '&':
        record.kind = marker == '~' ? Console : marker == '@' ? Target : Log;
        record.text = reader.cString();
        return record;
    case '^':
    case '*':
    case '=':
    case '+':
        record.kind = marker == '^'   ? Result
                      : marker == '*' ? Exec
                      : marker == '=' ? Notify
                                      : Status;
        record.recordClass = reader.name();
        record.results = reader.results();
        return record;
    default:
        return record;
    }
}

QString MiRecord::value(const QString &path) const
{
    return Mi::valueAt(results, path);
}

QString Mi::valueAt(const QVariant &root, const QString &path)
{
    QVariant at = root;
    for (const QString &key : path.split(QLatin1Char('.')))
        at = at.toMap().value(key);
    return at.toString();
}

QString Mi::quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
            continue;
        }
        out += c;
    }
    return out + QLatin1Char('"');
}
