#pragma once

#include <QDomDocument>

#include <optional>

class OutputSink;

// The shared reader and writer of the program's XML files.
class XmlDocumentIo
{
public:
    // Reads path as UTF-8 with namespace processing. An unreadable file gives nothing
    // silently; a malformed one gives nothing and, with an output, the line
    // "Error opening <file>: <message> at line <l>, column <c>".
    static std::optional<QDomDocument> load(const QString &path, OutputSink *output);

    // Writes the document as UTF-8 with an indentation of one space. The file is replaced
    // only once it is completely written, so a crash never leaves half a file.
    // Writes every byte or keeps the old file; errorString then says why.
    static bool save(const QDomDocument &document,
                     const QString &path,
                     QString *errorString = nullptr);
    // Whether XML can hold the text: no control character but tab and line ends, no lone
    // surrogate, no U+FFFE or U+FFFF. The writer leaves out what it cannot.
    static bool canHold(QStringView text);
    // The document as the writer puts it in a file.
    static QString toText(const QDomDocument &document, int indent = 1);
};
