#pragma once

#include "core/ui/cirranedialog.h"

#include <QStringList>

#include <memory>
#include <vector>

class BuildProject;
class ConfiguredProject;
class QComboBox;
class QTableWidgetItem;

namespace Ui {
class ConfigurationsDialog;
}

// A project's build configurations: renamed, copied, deleted, and each given its target among
// its compiler's. It edits copies and hands them to the project on OK.
class ConfigurationsDialog : public CirraneDialog
{
    Q_OBJECT

public:
    ConfigurationsDialog(ConfiguredProject *project, QWidget *parent);
    // Its page in the help.
    int helpContextId() const override { return 22; }
    ~ConfigurationsDialog() override;

public slots:
    void accept() override;
    void reject() override;
    void copyButtonClicked(bool checked = false);
    void deleteButtonClicked(bool checked = false);
    void itemChanged(QTableWidgetItem *item);

private:
    // chosen: the target each row shows (empty: its configuration's own).
    void buildTable(const QStringList &chosen = {});
    // The names typed so far go to the copies; the targets chosen so far are returned.
    QStringList keepRows();

    std::unique_ptr<Ui::ConfigurationsDialog> m_form;
    ConfiguredProject *m_project;
    std::vector<std::unique_ptr<BuildProject>> m_copies;
    QStringList m_names;
    QList<QComboBox *> m_targets;
    bool m_updating = false;
};
