#include "sourcetext.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

const QByteArray byteOrderMark("\xEF\xBB\xBF");

} // namespace

std::optional<SourceText::LineEnd> SourceText::lineEndsOf(const QByteArray &bytes)
{
    int crlf = 0;
    int lf = 0;
    int cr = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r') {
            if (i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        } else if (bytes.at(i) == '\n') {
            ++lf;
        }
    }
    if (crlf > lf && crlf >= cr)
        return LineEnd::Windows;
    if (cr > lf && cr > crlf)
        return LineEnd::Mac;
    if (lf > 0)
        return LineEnd::Unix;
    return std::nullopt;
}

QString SourceText::decode(QByteArray bytes)
{
    m_byteOrderMark = bytes.startsWith(byteOrderMark);
    if (m_byteOrderMark)
        bytes.remove(0, byteOrderMark.size());
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    m_latin1 = utf8.hasError();
    if (m_latin1)
        text = QString::fromLatin1(bytes);
    m_lineEnds = lineEndsOf(bytes);
    return text;
}

QByteArray SourceText::encode(const QString &text, bool *becameUtf8)
{
    if (becameUtf8)
        *becameUtf8 = false;
    if (m_latin1) {
        const bool fits = std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() <= 0xFF;
        });
        if (fits)
            return text.toLatin1();
        m_latin1 = false;
        if (becameUtf8)
            *becameUtf8 = true;
    }
    return (m_byteOrderMark ? byteOrderMark : QByteArray()) + text.toUtf8();
}
