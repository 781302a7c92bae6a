#pragma once

#include "core/ui/cirranedialog.h"

#include <QStringList>

#include <memory>
#include <vector>

class BuildConfigList;
class MainServices;
class Project;
class QTreeWidgetItem;

namespace Ui {
class DevBoardDialog;
}

// "New Project Wizard", first page: a new project starts from a development board's
// demonstration project, from nothing, or around an existing design file and the files
// beside it.
class DevBoardDialog : public CirraneDialog
{
    Q_OBJECT

public:
    enum Mode { NoneMode = 0, DemoMode = 1, DesignFileMode = 2 };
    // Its page in the help.
    int helpContextId() const override { return 24; }
    enum Page { Cancelled = 0, BackPage = 1, NextPage = 2, OkPage = 3 };

    DevBoardDialog(MainServices *mainWindow, BuildConfigList *catalogue, QWidget *parent);
    ~DevBoardDialog() override;

    // As the first page of the wizard: Back and OK hidden.
    void setWizardPage(bool wizard);

    int mode() const { return m_mode; }
    int page() const { return m_page; }
    // The chosen board's project; null unless a board is chosen.
    Project *selectedBoard() const;
    QStringList boardNames() const;
    QStringList categories() const { return m_categories; }
    QString designFile() const;
    // After Next with a design file: the checked files and the design file.
    QStringList filesToAdd() const { return m_filesToAdd; }

public slots:
    void backButtonClicked(bool checked = false);
    void nextButtonClicked(bool checked = false);
    void okButtonClicked(bool checked = false);
    void cancelButtonClicked(bool checked = false);
    void radioButtonToggled(bool checked);
    void designFileButtonClicked(bool checked = false);
    void designFileEntryCompleted();
    void demoProjectComboBoxCurrentIndexChanged(const QString &text);
    void demoProjectsListCurrentTextChanged(const QString &text);
    void directoryTreeItemChanged(QTreeWidgetItem *item, int column);
    void directoryTreeItemClicked(QTreeWidgetItem *item, int column);
    void directoryTreeItemExpanded(QTreeWidgetItem *item);
    void refreshState();

private:
    void loadBoards();
    void showDirectory();
    void readFolder(QTreeWidgetItem *folder, bool checked);
    void collectChecked(const QTreeWidgetItem *item, QStringList &files) const;
    bool designFileValid() const;

    std::unique_ptr<Ui::DevBoardDialog> m_form;
    MainServices &m_mainWindow;
    BuildConfigList *m_catalogue;
    std::vector<std::unique_ptr<Project>> m_boards;
    QStringList m_categories;
    QStringList m_knownSuffixes;
    int m_selected = -1;
    int m_mode = DemoMode;
    int m_page = Cancelled;
    QStringList m_filesToAdd;
    QString m_shownDirectory;
};
