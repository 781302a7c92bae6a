#include "projecttreewidget.h"

#include "project.h"
#include "projectsmanager.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QUrl>

static const char uriList[] = "text/uri-list";

namespace {

// A file's item shows a mark while its editor holds unsaved text; renaming it starts from the
// file's name alone. The mark may come or go while the name is being edited (a save, a build),
// so what the user leaves in the editor must never carry a mark the item showed at the start.
class ItemNameDelegate : public QStyledItemDelegate
{
public:
    explicit ItemNameDelegate(ProjectTreeWidget *tree)
        : QStyledItemDelegate(tree)
        , m_tree(tree)
    {}

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // Only when the edit starts: a change of the item's text meanwhile (its mark) must not
        // undo what the user has typed.
        if (editor->property(started).toBool())
            return;
        editor->setProperty(started, true);
        auto *line = qobject_cast<QLineEdit *>(editor);
        const QString name = m_tree->editableName(index);
        if (line && !name.isNull())
            line->setText(name);
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }

private:
    static constexpr char started[] = "nameEditStarted";
    ProjectTreeWidget *m_tree;
};

} // namespace

ProjectTreeWidget::ProjectTreeWidget(ProjectsManager *manager)
    : QTreeWidget(manager)
    , m_manager(manager)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    // Drops arrive at the viewport, which must take them too.
    viewport()->setAcceptDrops(true);
    setEditTriggers(QAbstractItemView::SelectedClicked);
    setItemDelegate(new ItemNameDelegate(this));
}

QString ProjectTreeWidget::editableName(const QModelIndex &index) const
{
    const QTreeWidgetItem *item = itemFromIndex(index);
    const Project *project = m_manager->projectForItem(item);
    const int file = project ? project->fileIndexForItem(item) : -1;
    return file < 0 ? QString() : QFileInfo(project->filePathAt(file)).fileName();
}

void ProjectTreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    m_manager->showContextMenu(event);
}

void ProjectTreeWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !currentItem())
        return;
    Project *project = m_manager->currentProject();
    if (!project || project->classifyItem(currentItem()) != 2)
        return;
    const int index = project->fileIndexForItem(currentItem());
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(project->filePathAt(index))});
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

void ProjectTreeWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QLatin1String(uriList)))
        event->acceptProposedAction();
}

void ProjectTreeWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasFormat(QLatin1String(uriList))
        && m_manager->projectForItem(itemAt(event->position().toPoint()))) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ProjectTreeWidget::dropEvent(QDropEvent *event)
{
    if (dropData(itemAt(event->position().toPoint()), event->mimeData(), event->source() == this))
        event->acceptProposedAction();
    else
        event->ignore();
}

bool ProjectTreeWidget::dropData(QTreeWidgetItem *target, const QMimeData *data, bool internal)
{
    if (!data->hasFormat(QLatin1String(uriList)))
        return false;
    Project *project = m_manager->projectForItem(target);
    if (!target || !project)
        return false;
    if (internal) {
        QTreeWidgetItem *dragged = currentItem();
        Project *owner = m_manager->projectForItem(dragged);
        if (owner != project || project->classifyItem(dragged) != 2)
            return false;
        project->moveItem(dragged, target);
    } else {
        QStringList paths;
        for (const QUrl &url : data->urls()) {
            if (!url.toLocalFile().isEmpty())
                paths.append(url.toLocalFile());
        }
        project->addFiles(paths);
    }
    m_manager->updateState();
    return true;
}
