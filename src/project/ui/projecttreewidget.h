#pragma once

#include <QTreeWidget>

class ProjectsManager;

// The tree of the projects pane: renames items in place, drags file items between groups (or
// out of the program as files) and takes files dropped from outside into a project.
class ProjectTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit ProjectTreeWidget(ProjectsManager *manager);

    // A drop of data onto target: a file item moved inside the tree (internal) or files
    // dropped from outside. False when the drop is refused.
    bool dropData(QTreeWidgetItem *target, const QMimeData *data, bool internal);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    ProjectsManager *m_manager;
};
