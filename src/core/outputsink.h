#pragma once

#include <QString>

// What a compiler's message says of the line it names.
enum class MessageSeverity { Error, Warning, Note };

// Where the program reports what it does outside message boxes: the output window.
class OutputSink
{
public:
    virtual ~OutputSink() = default;

    virtual void clearOutput() = 0;
    virtual void message(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    virtual void success(const QString &text) = 0;
    virtual void link(const QString &file, int line, int column, const QString &text) = 0;
    virtual void errorLink(const QString &file, int line, int column, const QString &text) = 0;
    // A block of rich text in the messages' style (a coloured summary, say).
    virtual void richText(const QString &html) = 0;
    // Marks a line of a source file with a compiler's message, until the output is cleared.
    virtual void markSource(const QString &file,
                            int line,
                            MessageSeverity severity,
                            const QString &text)
    {
        Q_UNUSED(file);
        Q_UNUSED(line);
        Q_UNUSED(severity);
        Q_UNUSED(text);
    }
};
