#include "sourcetext.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

const QByteArray byteOrderMark("\xEF\xBB\xBF");

} // namespace

std::optional<SourceText::LineEnd> SourceText::lineEndsOf(QStringView text)
{
    int crlf = 0;
    int lf = 0;
    int cr = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        } else if (text.at(i) == u'\n') {
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

std::optional<QString> SourceText::decode(const QByteArray &bytes)
{
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    std::optional<QString> text;
    // A file that starts with the mark of UTF-16 or UTF-32 and is whole in it is read so; the
    // converter reads the mark and writes it again.
    if (const auto marked = QStringConverter::encodingForData(bytes);
        marked && *marked != QStringConverter::Utf8) {
        const bool utf32 = *marked == QStringConverter::Utf32LE
                           || *marked == QStringConverter::Utf32BE;
        QStringDecoder wide(*marked, QStringConverter::Flag::Stateless);
        const QString decoded = wide.decode(bytes);
        if (!wide.hasError() && bytes.size() % (utf32 ? 4 : 2) == 0) {
            encoding = *marked;
            text = decoded;
        }
    }
    // UTF-8 keeps its mark apart, and a second one as the text's first character. ISO 8859-1
    // takes every byte, those that would have been the mark too.
    bool utf8Mark = false;
    if (!text) {
        const bool marked = bytes.startsWith(byteOrderMark);
        QStringDecoder utf8(QStringConverter::Utf8,
                            QStringConverter::Flag::Stateless
                                | QStringConverter::Flag::ConvertInitialBom);
        text = utf8.decode(marked ? bytes.mid(byteOrderMark.size()) : bytes);
        if (utf8.hasError()) {
            encoding = QStringConverter::Latin1;
            text = QString::fromLatin1(bytes);
        } else {
            utf8Mark = marked;
        }
    }
    if (text->contains(QChar(0)))
        return std::nullopt;
    m_encoding = encoding;
    m_byteOrderMark = utf8Mark
                      || (encoding != QStringConverter::Utf8
                          && encoding != QStringConverter::Latin1);
    m_lineEnds = lineEndsOf(*text);
    return text;
}

QByteArray SourceText::encode(const QString &text, bool *becameUtf8)
{
    if (becameUtf8)
        *becameUtf8 = false;
    if (m_encoding == QStringConverter::Latin1) {
        const bool fits = std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() <= 0xFF;
        });
        if (fits)
            return text.toLatin1();
        m_encoding = QStringConverter::Utf8;
        if (becameUtf8)
            *becameUtf8 = true;
    }
    if (m_encoding != QStringConverter::Utf8) {
        QStringEncoder wide(m_encoding, QStringConverter::Flag::WriteBom);
        return wide.encode(text);
    }
    return (m_byteOrderMark ? byteOrderMark : QByteArray()) + text.toUtf8();
}
