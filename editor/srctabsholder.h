#pragma once

#include <QTabWidget>

class SrcManager;

// The main window's central tab widget: one source editor per open file.
class SrcTabsHolder : public QTabWidget
{
    Q_OBJECT

public:
    explicit SrcTabsHolder(QWidget *mainWindow);

    // The file paths of the open editors, in tab order.
    QStringList openPaths() const;

signals:
    // The current tab changed: the window's commands need their enabled states again.
    void stateChanged();

public slots:
    void onCurrentChanged(int index);
};
