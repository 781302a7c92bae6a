#include "projecttreewidget.h"

#include "project.h"
#include "projectsmanager.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

static const char uriList[] = "text/uri-list";

ProjectTreeWidget::ProjectTreeWidget(ProjectsManager *manager)
    : QTreeWidget(manager)
    , m_manager(manager)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    // Drops arrive at the viewport, which must take them too.
    viewport()->setAcceptDrops(true);
    setEditTriggers(QAbstractItemView::SelectedClicked);
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
