#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// One line of a debugger's machine interface: a result ("^done", "^error" with its token), an
// asynchronous record ("*stopped", "=breakpoint-modified"), a stream ("~" console text) or the
// prompt. Values are strings, tuples (QVariantMap) and lists (QVariantList; a list of named
// results keeps the values in order).
struct MiRecord
{
    enum Kind { Result, Exec, Notify, Status, Console, Target, Log, Prompt, Unknown };
    Kind kind = Unknown;
    int token = -1;
    QString recordClass;
    QVariantMap results;
    QString text;

    static MiRecord parse(const QByteArray &line);
    // A value at a path of keys through nested tuples ("frame.line").
    QString value(const QString &path) const;
};

namespace Mi {
// A string as a C string of the machine interface, quoted.
QString quoted(const QString &text);
QString valueAt(const QVariant &root, const QString &path);
} // namespace Mi
