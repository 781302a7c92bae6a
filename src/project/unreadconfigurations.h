#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QStringList>

// The build configurations of a project file that this machine cannot read (their compiler is
// not in its catalogue, or their build tree does not fit the compiler it has): nobody sees or
// builds them here, but saving the project writes them back as they came, after the others,
// so that opening a project somewhere else and saving it does not take them out of the file.
// Their sources follow the project's files when these are renamed, removed or copied with the
// project.
class UnreadConfigurations
{
public:
    UnreadConfigurations();

    // Keeps a copy of a CONFIGURATION element of the project file at projectPath.
    void add(const QDomElement &configuration, const QString &projectPath);
    bool isEmpty() const { return m_configurations.isEmpty(); }
    // Their NAME attributes, in the file's order.
    QStringList names() const;

    // The same as the project's files: absolute paths.
    void renameFile(const QString &from, const QString &to);
    void removeFile(const QString &path);

    // Appends each to the project element of a document of the project file at projectPath.
    void write(QDomDocument &document, QDomElement &project, const QString &projectPath) const;

private:
    // The copies, with the names of their sources made absolute.
    QDomDocument m_store;
    QList<QDomElement> m_configurations;
};
