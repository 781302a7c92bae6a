#pragma once

#include <QTabWidget>

class MainServices;
class SourceEditor;

// The main window's central tab widget: one source editor per open file.
class SrcTabsHolder : public QTabWidget
{
    Q_OBJECT

public:
    SrcTabsHolder(MainServices *mainWindow, QWidget *parent);

    void openFile(const QString &path);
    void activateFile(const QString &path);
    bool closeFile(const QString &path, bool force);
    SourceEditor *findEditor(const QString &path) const;
    SourceEditor *currentEditor() const;
    SourceEditor *editorAt(int index) const;
    // The file paths of the open editors, in tab order.
    QStringList openPaths() const;
    void updateTabTitles();
    bool canCloseAll();
    void applySettingsToAll();

signals:
    // The current tab changed: the window's commands need their enabled states again.
    void stateChanged();

public slots:
    void saveAll();
    void closeTab(int index);
    void onCurrentChanged(int index);
    void cut();
    void copy();
    void paste();
    void undo();
    void redo();
    void save();
    void close();

private:
    int indexOf(const QString &path) const;

    MainServices *m_mainWindow;
};
