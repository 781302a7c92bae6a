#pragma once

#include "core/outputsink.h"
#include "toolchain/buildrecords.h"

#include <QRegularExpression>

#include <functional>

// Turns lines of compiler output into positions in source files, by the message formats of
// the build steps that ran.
class BuildMessageParser
{
public:
    // Finds the file a relative name in a message means; empty when there is none.
    using Resolver = std::function<QString(const QString &relativeName)>;

    struct Position
    {
        QString file;
        int line = 0;
        int column = 0;
    };

    void setFormats(const QList<MessageFormat> &formats);
    // Adds a format unless it has no pattern or is there already.
    void addFormat(const MessageFormat &format);
    int formatCount() const { return int(m_formats.size()); }

    // Whether the line names a file that exists, and where in it.
    bool parse(const QString &line, const Resolver &resolve, Position &position) const;
    // Whether any format matches the line at all.
    bool matchesAny(const QString &line) const;
    // What a compiler's message line reports, by the word the compilers put before the text
    // ("warning", "error", "note", gpasm's "Message"); a line without one is an error.
    static MessageSeverity severity(const QString &line);

private:
    struct Compiled
    {
        MessageFormat format;
        QRegularExpression expression;
    };
    std::vector<Compiled> m_formats;
};
