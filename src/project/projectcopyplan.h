#pragma once

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Where Save Project As puts the copy of each file of a project: beside the new project file,
// flat, or keeping the folders the files sit in relative to one another (below the deepest
// folder that holds them all).
class ProjectCopyPlan
{
    Q_DECLARE_TR_FUNCTIONS(Project)

public:
    enum Outcome {
        Ready,
        // A file of the same name is already beside the new project file, or in the folder of
        // its name there: the copy would overwrite it.
        WouldOverwrite,
        // The files sit on different drives: their folders cannot be repeated.
        DifferentDrives,
        // Two files of one name in different folders, copied flat: both would be one copy.
        SameName,
    };

    ProjectCopyPlan(const QStringList &files, const QString &projectPath, bool keepStructure);

    Outcome outcome() const { return m_outcome; }
    // What went wrong, as said to the user; empty when ready.
    QString reason() const;
    // Each file with the path of its copy, in the order of the files; empty unless ready.
    const QList<QPair<QString, QString>> &copies() const { return m_copies; }

private:
    Outcome m_outcome = Ready;
    QList<QPair<QString, QString>> m_copies;
    QStringList m_sameName; // the two files of one name
};
