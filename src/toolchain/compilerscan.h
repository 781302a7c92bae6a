#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class BuildConfigList;
class OutputSink;

// The compilers of the catalogue as the compilers dialog lists them, with the detection of
// one or all of them, its summary in the output window, and the storing of the outcome.
class CompilerScan
{
public:
    struct Row
    {
        QString configFile;
        QString name;
        bool installed = false;
        QString directory;
    };

    explicit CompilerScan(BuildConfigList *catalogue);

    QList<Row> &rows() { return m_rows; }
    const QList<Row> &rows() const { return m_rows; }

    // Empties the found, not found and unsupported lists (at the start of Check and Check All).
    void startChecking();
    void checkRow(int row);
    // Clears the output window, checks every row and writes the summary.
    void checkAll();
    // Checks the rows of compilers never detected, and writes their summary when there are
    // any; the output and the other rows stay as they are. False when there were none.
    bool checkUndetected();
    void writeSummary();
    // Stores every row whose compiler is in the catalogue as installed or not, with its
    // directory.
    void save();

    QStringList found() const { return m_found; }
    QStringList unsupported() const { return m_unsupported; }

    static QString tooOldText();

    // The version of the compiler a row names as its first tool, in the row's directory, tells
    // it ("avr-gcc (GCC) 5.4.0" gives "5.4.0"); empty when it is not installed or says none.
    QString installedVersion(int row) const;
    // The first dotted number of a program's version text.
    static QString versionIn(const QString &text);

private:
    BuildConfigList *m_catalogue;
    OutputSink &m_output;
    QList<Row> m_rows;
    QStringList m_found;
    QStringList m_notFound;
    QStringList m_unsupported;
};
