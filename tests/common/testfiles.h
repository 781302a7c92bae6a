#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

// Copies every file below source into target, keeping the folders; false on any failure.
bool copyTree(const QString &source, const QString &target);

// A file's whole contents; empty when it cannot be read.
QByteArray readFile(const QString &path);

// Writes bytes as a file's whole contents, making its folder first; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes = {});

// Replaces every from in a file by to; false when the file holds no from or cannot be written.
bool replaceInFile(const QString &path, const QByteArray &from, const QByteArray &to);

// A one-bit signal's values in a trace file, as (nanoseconds, level) in the order written, the
// first value included; empty when the trace names no such signal.
QList<QPair<double, int>> traceLevels(const QByteArray &trace, const QString &signal);

// Runs a shell command line in folder; empty when it ends with 0, else what it wrote on standard
// error (or that it did not end).
QString shellIn(const QString &folder, const QString &commands);

// Writes the simulator's hand-off file at path: design and program files, the controller as
// "FAMILY DEVICE CLOCK", and whether the run starts at once.
bool writeHandOff(const QString &path,
                  const QString &design,
                  const QString &program,
                  const QString &controller,
                  bool autorun);

// True when the process has ended: gone, or a corpse its parent has not collected yet.
bool processEnded(qint64 pid);

// The child of parent of type T with that object name; null when there is none.
template<typename T>
T *child(const QObject &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}
template<typename T>
T *child(const QObject *parent, const char *name)
{
    return child<T>(*parent, name);
}
