#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>

#include <optional>

// A source file's bytes as text, and the text as the same kind of bytes again. Valid UTF-8
// (with or without a byte order mark) stays UTF-8, and a file that starts with the byte order
// mark of UTF-16 or UTF-32 stays in that encoding; anything else is read and written as
// ISO 8859-1, byte for byte, until the text holds a character ISO 8859-1 cannot store, when the
// file becomes UTF-8. A file holding a NUL character is not text (an object file, an image):
// the editor could hold none of it past the first. The line ends a file uses most are the ones
// new lines get.
class SourceText
{
public:
    // The bytes a UTF-16 unit takes in UTF-8 (each half of a surrogate pair two).
    static constexpr int utf8Size(char16_t c)
    {
        return c < 0x80 ? 1 : c < 0x800 || (c >= 0xD800 && c < 0xE000) ? 2 : 3;
    }

    enum class LineEnd { Unix, Windows, Mac };

    // The text of a file's bytes, remembering how they were stored; none when they are no text,
    // and then nothing is remembered.
    std::optional<QString> decode(const QByteArray &bytes);
    // The bytes to write for a text, stored as the file was; sets *becameUtf8 when ISO 8859-1
    // could not hold it.
    QByteArray encode(const QString &text, bool *becameUtf8 = nullptr);

    bool isLatin1() const { return m_encoding == QStringConverter::Latin1; }
    QStringConverter::Encoding encoding() const { return m_encoding; }
    bool hasByteOrderMark() const { return m_byteOrderMark; }
    // The line ends the file uses most; none for a file without line breaks.
    std::optional<LineEnd> lineEnds() const { return m_lineEnds; }

    static std::optional<LineEnd> lineEndsOf(QStringView text);

private:
    QStringConverter::Encoding m_encoding = QStringConverter::Utf8;
    bool m_byteOrderMark = false;
    std::optional<LineEnd> m_lineEnds;
};
