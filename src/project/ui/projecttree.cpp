// The project's items in the projects tree, and the edits made through them.

#include "project.h"

#include "build/buildproject.h"
#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/ui/storeddisplayformats.h"
#include "core/xmldocumentio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QSignalBlocker>
#include <QTextEdit>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

const Qt::ItemFlags rootFlags = Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled
                                | Qt::ItemIsEnabled;
const Qt::ItemFlags groupFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDropEnabled
                                 | Qt::ItemIsEnabled;
const Qt::ItemFlags fileFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled
                                | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled;

} // namespace

void Project::buildTree(QTreeWidgetItem *parentItem)
{
    m_parentItem = parentItem;
    delete m_rootItem;
    m_groups.clear();
    for (ProjectFile &file : m_files)
        file.item = nullptr;
    m_rootItem = new QTreeWidgetItem(parentItem);
    m_rootItem->setFlags(rootFlags);
    m_rootItem->setIcon(0, QIcon(QStringLiteral(":/images/project.png")));
    m_rootItem->setExpanded(true);
    updateRootText();
    for (int i = 0; i < fileCount(); ++i)
        addFileItem(i);
    applyDisplayFormats();
}

void Project::updateRootText()
{
    refreshName();
    if (m_rootItem)
        m_rootItem->setText(0, m_modified ? QLatin1Char('*') + m_name : m_name);
}

QTreeWidgetItem *Project::groupItem(const QString &name)
{
    if (name.isEmpty() || !m_rootItem)
        return nullptr;
    for (const ProjectGroup &group : m_groups) {
        if (group.name == name)
            return group.item;
    }
    // A new item is no edit of the user's.
    const QSignalBlocker blocker(m_rootItem->treeWidget());
    auto *item = new QTreeWidgetItem(m_rootItem);
    item->setText(0, name);
    item->setFlags(groupFlags);
    item->setExpanded(true);
    m_groups.push_back({name, item});
    return item;
}

void Project::addFileItem(int index)
{
    ProjectFile &file = m_files.at(index);
    if (file.item)
        return;
    if (file.group.isEmpty())
        file.group = defaultGroup(file.path);
    QTreeWidgetItem *group = groupItem(file.group);
    if (!group)
        return;
    const QSignalBlocker blocker(group->treeWidget());
    file.item = new QTreeWidgetItem(group);
    file.item->setFlags(fileFlags);
    file.item->setText(0, fileItemText(index));
    // One icon of a kind for all the files, not one read for each.
    static QHash<QString, QIcon> icons;
    const QString icon = file.exists ? QStringLiteral(":/images/") + iconName(file.path)
                                     : QStringLiteral(":/images/project_lost.png");
    auto known = icons.find(icon);
    if (known == icons.end())
        known = icons.insert(icon, QIcon(icon));
    file.item->setIcon(0, *known);
}

int Project::classifyItem(const QTreeWidgetItem *item) const
{
    if (!item)
        return -1;
    if (item == m_rootItem)
        return 0;
    if (fileIndexForItem(item) >= 0)
        return 2;
    if (groupIndexForItem(item) >= 0)
        return 1;
    return -1;
}

int Project::fileIndexForItem(const QTreeWidgetItem *item) const
{
    for (int i = 0; item && i < fileCount(); ++i) {
        if (m_files.at(i).item == item)
            return i;
    }
    return -1;
}

int Project::groupIndexForItem(const QTreeWidgetItem *item) const
{
    for (int i = 0; item && i < groupCount(); ++i) {
        if (m_groups.at(i).item == item)
            return i;
    }
    return -1;
}

void Project::setCurrent(bool current)
{
    if (!m_rootItem)
        return;
    QFont font = m_rootItem->font(0);
    font.setWeight(current ? QFont::Bold : QFont::Normal);
    m_rootItem->setFont(0, font);
}

void Project::applyDisplayFormats()
{
    if (!m_rootItem)
        return;
    const auto apply = [](QTreeWidgetItem *item, const QTextCharFormat &format) {
        if (!item)
            return;
        item->setFont(0, format.font());
        item->setForeground(0, format.foreground());
        item->setBackground(0, format.background());
    };
    // A look, not an edit: the tree's change signals stay quiet.
    const QSignalBlocker blocker(m_rootItem->treeWidget());
    const QString group = QStringLiteral("Projects Tree");
    const StoredDisplayFormats formats(m_mainWindow.files().settingsStore());
    apply(m_rootItem, formats.displayFormat(group, QStringLiteral("Projects")));
    const QTextCharFormat groups = formats.displayFormat(group, QStringLiteral("Groups"));
    for (const ProjectGroup &g : m_groups)
        apply(g.item, groups);
    const QTextCharFormat files = formats.displayFormat(group, QStringLiteral("Files"));
    for (const ProjectFile &f : m_files)
        apply(f.item, files);
}

void Project::setFileModified(const QString &path, bool modified)
{
    for (int i = 0; i < fileCount(); ++i) {
        ProjectFile &file = m_files[i];
        if (file.path != path)
            continue;
        file.marked = modified;
        if (!file.item)
            continue;
        // The mark is no edit of the user's: the tree must not take it for a rename.
        const QSignalBlocker blocker(file.item->treeWidget());
        file.item->setText(0, fileItemText(i));
    }
}

QString Project::fileItemText(int index) const
{
    if (index < 0 || index >= fileCount())
        return QString();
    const ProjectFile &file = m_files.at(index);
    const QString name = QFileInfo(file.path).fileName();
    return file.marked ? QLatin1Char('*') + name : name;
}

QString Project::typedFileName(int index, const QString &itemText) const
{
    if (index >= 0 && index < fileCount() && m_files.at(index).marked
        && itemText.startsWith(QLatin1Char('*')))
        return itemText.mid(1);
    return itemText;
}

// A name typed over a file's item must stay a name in the file's own folder, and one the
// project file can hold.
static bool isBareFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && !name.contains(QLatin1String(".."))
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'))
           && XmlDocumentIo::canHold(name);
}

void Project::describe(QTextEdit *textEdit) const
{
    textEdit->clear();
    textEdit->setTabStopDistance(24);
    QTextCursor cursor = textEdit->textCursor();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat normal;
    normal.setFontWeight(QFont::Normal);
    cursor.insertText(m_name, bold);
    cursor.insertText(QStringLiteral("\n") + m_description + QStringLiteral("\n"), normal);
    if (const BuildProject *c = activeConfiguration()) {
        cursor.insertText(tr("\tFamily: "), bold);
        cursor.insertText(c->family() + QLatin1Char('\n'), normal);
        cursor.insertText(tr("\tController: "), bold);
        cursor.insertText(c->controller() + QLatin1Char('\n'), normal);
        if (!c->compilerName().isEmpty()) {
            cursor.insertText(tr("\tCompiler: "), bold);
            cursor.insertText(c->compilerName() + QLatin1Char('\n'), normal);
        }
    }
    cursor.insertText(tr("\tFiles:"), bold);
    for (const ProjectFile &file : m_files)
        cursor.insertText(QStringLiteral("\n\t\t") + QFileInfo(file.path).fileName(), normal);
    cursor.insertText(QStringLiteral("\n"), normal);
    textEdit->moveCursor(QTextCursor::Start);
}

void Project::reopenFiles()
{
    for (const ProjectFile &file : m_files)
        m_mainWindow.editors().reopenIfLastSession(file.path);
}

void Project::renameFile(int index, const QString &newName)
{
    if (index < 0 || index >= fileCount())
        return;
    ProjectFile &file = m_files[index];
    const QFileInfo old(file.path);
    const auto restoreText = [this, index] {
        ProjectFile &restored = m_files[index];
        if (!restored.item)
            return;
        const QSignalBlocker blocker(restored.item->treeWidget());
        restored.item->setText(0, fileItemText(index));
    };
    if (newName == old.fileName()) {
        restoreText();
        return;
    }
    if (!isBareFileName(newName)) {
        m_mainWindow.output().error(
            tr("Cannot rename '%1' to '%2': a file name cannot be empty "
               "or \".\", or hold \"..\", \"/\", \"\\\" or a control character.")
                .arg(old.fileName(), newName));
        restoreText();
        return;
    }
    const QString oldPath = file.path;
    const QString newPath = old.absoluteDir().filePath(newName);
    if (QFileInfo::exists(newPath) || !QFileInfo(oldPath).isFile()
        || !QFile::copy(oldPath, newPath)) {
        m_mainWindow.output().error(tr("Cannot rename '%1' to '%2'.").arg(old.fileName(), newName));
        restoreText();
        return;
    }
    for (std::size_t i = 0; i < m_configurations.size(); ++i) {
        if (m_configurations.at(i)->renameFile(oldPath, newPath))
            continue;
        for (std::size_t j = i; j-- > 0;)
            m_configurations.at(j)->renameFile(newPath, oldPath);
        QFile::remove(newPath);
        restoreText();
        return;
    }
    m_unread.renameFile(oldPath, newPath);
    m_mainWindow.editors().editorFileRenamed(oldPath, newPath);
    file.path = newPath;
    m_renamedSinceSave.append({oldPath, newPath});
    restoreText();
    m_modified = true;
    updateRootText();
    QFile::remove(oldPath);
}

void Project::renameGroup(int index, const QString &newName)
{
    if (index < 0 || index >= groupCount() || m_groups.at(index).name == newName)
        return;
    if (newName.isEmpty()) {
        const QSignalBlocker blocker(m_groups.at(index).item->treeWidget());
        m_groups.at(index).item->setText(0, m_groups.at(index).name);
        return;
    }
    for (const ProjectGroup &group : m_groups) {
        if (group.name == newName) {
            m_groups.at(index).item->setText(0, m_groups.at(index).name);
            return;
        }
    }
    // Only the files name their group in the project file: a group without files changes
    // nothing there, and the files keep their order.
    for (ProjectFile &file : m_files) {
        if (file.group == m_groups.at(index).name) {
            file.group = newName;
            m_modified = true;
        }
    }
    m_groups[index].name = newName;
    updateRootText();
}

void Project::moveItem(QTreeWidgetItem *fileItem, QTreeWidgetItem *targetItem)
{
    const int index = fileIndexForItem(fileItem);
    const int kind = classifyItem(targetItem);
    if (index < 0 || kind < 0)
        return;
    ProjectFile &file = m_files[index];
    QTreeWidgetItem *target = targetItem;
    if (kind == 0)
        target = groupItem(defaultGroup(file.path));
    const bool targetIsGroup = groupIndexForItem(target) >= 0;
    QTreeWidgetItem *group = targetIsGroup ? target : target->parent();
    QTreeWidgetItem *oldGroup = fileItem->parent();
    const bool wasFirst = oldGroup && oldGroup->indexOfChild(fileItem) == 0;
    const bool alreadyThere = targetIsGroup ? oldGroup == group : fileItem == target;
    // A file dropped where it is changes nothing, and does not make the project modified.
    if (alreadyThere)
        return;
    oldGroup->takeChild(oldGroup->indexOfChild(fileItem));
    if (targetIsGroup)
        group->addChild(fileItem);
    else
        group->insertChild(group->indexOfChild(target), fileItem);
    file.group = m_groups.at(groupIndexForItem(group)).name;
    if (!(wasFirst && group == oldGroup && group->indexOfChild(fileItem) == 0))
        m_modified = true;
    resynchronise();
    updateRootText();
}

void Project::resynchronise()
{
    if (!m_rootItem)
        return;
    // Groups in the order of their items.
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (std::size_t i = 0; i + 1 < m_groups.size(); ++i) {
            if (m_rootItem->indexOfChild(m_groups[i].item)
                > m_rootItem->indexOfChild(m_groups[i + 1].item)) {
                std::swap(m_groups[i], m_groups[i + 1]);
                swapped = true;
            }
        }
    }
    std::vector<ProjectFile> rebuilt;
    bool changed = false;
    for (const ProjectGroup &group : m_groups) {
        for (int c = 0; c < group.item->childCount(); ++c) {
            const int index = fileIndexForItem(group.item->child(c));
            if (index < 0)
                continue;
            ProjectFile file = m_files.at(index);
            if (index != int(rebuilt.size()) || file.group != group.name)
                changed = true;
            file.group = group.name;
            rebuilt.push_back(file);
        }
    }
    if (changed && rebuilt.size() == m_files.size()) {
        m_files = rebuilt;
        m_modified = true;
    }
}

void Project::regroup()
{
    // Rebuilt out of the tree, which then takes the project's items back in one go rather
    // than one item at a time.
    QTreeWidgetItem *parent = m_rootItem ? m_parentItem : nullptr;
    const int at = parent ? parent->indexOfChild(m_rootItem) : -1;
    if (at >= 0)
        parent->takeChild(at);
    for (ProjectGroup &group : m_groups)
        delete group.item;
    m_groups.clear();
    for (ProjectFile &file : m_files) {
        file.item = nullptr;
        file.group.clear();
    }
    for (int i = 0; i < fileCount(); ++i)
        addFileItem(i);
    if (at >= 0) {
        parent->insertChild(at, m_rootItem);
        m_rootItem->setExpanded(true);
        for (const ProjectGroup &group : m_groups)
            group.item->setExpanded(true);
    }
    applyDisplayFormats();
}
