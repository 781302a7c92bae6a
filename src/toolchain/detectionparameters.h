#pragma once

#include <QList>
#include <QPair>
#include <QString>

class OutputSink;

// The parameters of one detection rule: ordered (name, value) pairs whose values may refer to
// other parameters ("%NAME%"), to environment variables, to a directory search ("%SUB%") or to
// the first entry that matches a prefix ("%*%").
class DetectionParameters
{
public:
    explicit DetectionParameters(OutputSink *output = nullptr);

    // Replaces the value of an existing parameter in place or appends one; an empty name
    // does nothing.
    void set(const QString &name, const QString &value);
    QString value(const QString &name) const;
    const QList<QPair<QString, QString>> &pairs() const { return m_pairs; }

    // Resolves the value of parameter name; false when a reference cannot be resolved. With
    // reporting on, an unresolved reference is written to the output.
    bool resolve(const QString &name, QString &value, bool report) const;
    // Resolves every parameter in order, storing each result back.
    bool resolveAll(bool report);

    // Looks for relative below base, descending at most depth levels, depth first.
    static QString searchBelow(const QString &base, const QString &relative, int depth);
    // The first entry of left's folder whose name starts with left's last component.
    QString wildcardSearch(const QString &left, const QString &right) const;

private:
    OutputSink *m_output;
    QList<QPair<QString, QString>> m_pairs;
};
