#include "projectcopyplan.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

ProjectCopyPlan::ProjectCopyPlan(const QStringList &files,
                                 const QString &projectPath,
                                 bool keepStructure)
{
    const QString name = QFileInfo(projectPath).completeBaseName();
    const QDir target(QFileInfo(projectPath).absolutePath());
    for (const QString &file : files) {
        const QString fileName = QFileInfo(file).fileName();
        if (QFileInfo::exists(target.filePath(fileName))
            || QFileInfo::exists(target.filePath(name + QLatin1Char('/') + fileName))) {
            m_outcome = WouldOverwrite;
            return;
        }
    }
    if (!keepStructure) {
        QHash<QString, QString> byName;
        for (const QString &file : files) {
            const QString fileName = QFileInfo(file).fileName();
            const QString other = byName.value(fileName);
            if (!other.isEmpty() && QFileInfo(other) != QFileInfo(file)) {
                m_outcome = SameName;
                m_sameName = QStringList{other, file};
                m_copies.clear();
                return;
            }
            byName.insert(fileName, file);
            m_copies.append({file, target.filePath(fileName)});
        }
        return;
    }
    if (files.isEmpty())
        return;
    QStringList sorted = files;
    sorted.sort();
    // The deepest folder that holds every file.
    QDir base = QFileInfo(sorted.first()).absoluteDir();
    for (bool moved = true; moved;) {
        moved = false;
        for (const QString &path : std::as_const(sorted)) {
            if (base.relativeFilePath(path).startsWith(QLatin1String(".."))) {
                moved = base.cdUp();
                break;
            }
        }
    }
    for (const QString &path : std::as_const(sorted)) {
        const QString relative = base.relativeFilePath(path);
        if (relative.startsWith(QLatin1String(".."))
            || (relative.size() > 1 && relative.at(1) == QLatin1Char(':'))) {
            m_outcome = DifferentDrives;
            return;
        }
    }
    for (const QString &file : files)
        m_copies.append({file, QDir::cleanPath(target.filePath(base.relativeFilePath(file)))});
}

QString ProjectCopyPlan::reason() const
{
    switch (m_outcome) {
    case WouldOverwrite:
        return tr("Cannot save project copy as files in the target directory would be "
                  "overwritten.");
    case DifferentDrives:
        return tr("Some project files are on a different disk - could not repeat directories "
                  "structure.");
    case SameName:
        return tr("Cannot save project copy: %1 and %2 have the same name and would be copied "
                  "to one file. Keep the subdirectories structure.")
            .arg(QDir::toNativeSeparators(m_sameName.value(0)),
                 QDir::toNativeSeparators(m_sameName.value(1)));
    case Ready:
        break;
    }
    return QString();
}
