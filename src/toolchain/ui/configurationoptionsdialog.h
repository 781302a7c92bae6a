#pragma once

#include "toolchain/buildrecords.h"

#include "core/ui/cirranedialog.h"

#include <memory>
#include <vector>

class BuildProject;
class ConfiguredProject;
class MainServices;

namespace Ui {
class CompilerOptionsDialog;
}

// "Project Options": for each build configuration its controller, its clock and the options
// its compiler's tools get, offered from the tools' option definitions; with the project's
// description and keywords in advanced mode. It edits copies and hands them to the project
// on OK.
class ConfigurationOptionsDialog : public CirraneDialog
{
    Q_OBJECT

public:
    enum Result { CancelResult = 1, OkResult = 2 };
    // Its page in the help.
    int helpContextId() const override { return 21; }

    ConfigurationOptionsDialog(ConfiguredProject *project,
                               int activeConfiguration,
                               MainServices *mainWindow,
                               QWidget *parent);
    ~ConfigurationOptionsDialog() override;

    int resultCode() const { return m_resultCode; }

public slots:
    void okButtonClicked(bool checked = false);
    void cancelButtonClicked(bool checked = false);
    void toolComboBoxIndexChanged(int index);
    void deleteButtonClicked(bool checked = false);
    void addOption();
    void selectedOptionChanged();
    void upButtonClicked(bool checked = false);
    void downButtonClicked(bool checked = false);
    void setOptionsComboTooltip(int index);
    void defaultsButtonClicked(bool checked = false);
    void currentConfigurationChanged();
    void addKeywordBtnClicked(bool checked = false);
    void removeKeywordBtnClicked(bool checked = false);
    void currentControllerChanged(const QString &text);

private:
    BuildProject *current() const;
    QString currentTool() const;
    QList<OptionDefinition> toolDefinitions() const;
    void fillControllers();
    void fillTable();
    void addRow(int settingIndex, const OptionDefinition *definition);
    void storeValues();
    void storeClock();
    void moveRow(int offset);

    std::unique_ptr<Ui::CompilerOptionsDialog> m_form;
    ConfiguredProject *m_project;
    MainServices &m_mainWindow;
    std::vector<std::unique_ptr<BuildProject>> m_copies;
    int m_current = -1;
    // For each table row, the index of the configuration setting it shows.
    QList<int> m_rowSettings;
    bool m_updating = false;
    bool m_projectTab = true;
    int m_resultCode = CancelResult;
};
