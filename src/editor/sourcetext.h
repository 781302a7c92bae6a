#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A source file's bytes as text, and the text as the same kind of bytes again. Valid UTF-8
// (with or without a byte order mark) stays UTF-8; anything else is read and written as
// ISO 8859-1, byte for byte, until the text holds a character ISO 8859-1 cannot store, when the
// file becomes UTF-8. The line ends a file uses most are the ones new lines get.
class SourceText
{
public:
    enum class LineEnd { Unix, Windows, Mac };

    // The text of a file's bytes, remembering how they were stored.
    QString decode(QByteArray bytes);
    // The bytes to write for a text, stored as the file was; sets *becameUtf8 when ISO 8859-1
    // could not hold it.
    QByteArray encode(const QString &text, bool *becameUtf8 = nullptr);

    bool isLatin1() const { return m_latin1; }
    bool hasByteOrderMark() const { return m_byteOrderMark; }
    // The line ends the file uses most; none for a file without line breaks.
    std::optional<LineEnd> lineEnds() const { return m_lineEnds; }

    static std::optional<LineEnd> lineEndsOf(const QByteArray &bytes);

private:
    bool m_latin1 = false;
    bool m_byteOrderMark = false;
    std::optional<LineEnd> m_lineEnds;
};
