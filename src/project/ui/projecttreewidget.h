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

    // The text an edit of a file's item starts from: the file's name, without the mark of
    // unsaved text. Null for any other item.
    QString editableName(const QModelIndex &index) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    ProjectsManager *m_manager;
};
