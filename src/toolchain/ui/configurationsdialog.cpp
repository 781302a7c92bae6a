#include "configurationsdialog.h"
#include "ui_configurationsdialog.h"

#include "build/configuredproject.h"

#include "build/buildproject.h"
#include "core/ui/cellcombobox.h"
#include "toolchain/buildconfig.h"

#include <QComboBox>
#include <QHeaderView>
#include <QRegularExpression>

ConfigurationsDialog::ConfigurationsDialog(ConfiguredProject *project, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::ConfigurationsDialog>())
    , m_project(project)
{
    m_form->setupUi(this);
    for (int i = 0; project && i < project->configurationCount(); ++i)
        m_copies.push_back(std::make_unique<BuildProject>(*project->configuration(i)));
    QTableWidget *table = m_form->configurationsTable;
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    buildTable();
    connect(m_form->buttonBox, &QDialogButtonBox::accepted, this, &ConfigurationsDialog::accept);
    connect(m_form->buttonBox, &QDialogButtonBox::rejected, this, &ConfigurationsDialog::reject);
    connect(m_form->copyButton,
            &QPushButton::clicked,
            this,
            &ConfigurationsDialog::copyButtonClicked);
    connect(m_form->deleteButton,
            &QPushButton::clicked,
            this,
            &ConfigurationsDialog::deleteButtonClicked);
    connect(table, &QTableWidget::itemChanged, this, &ConfigurationsDialog::itemChanged);
}

ConfigurationsDialog::~ConfigurationsDialog() = default;

void ConfigurationsDialog::buildTable(const QStringList &chosen)
{
    m_updating = true;
    QTableWidget *table = m_form->configurationsTable;
    table->clear();
    m_names.clear();
    m_targets.clear();
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({tr("Configuration"), tr("Target")});
    table->setRowCount(int(m_copies.size()));
    for (int row = 0; row < int(m_copies.size()); ++row) {
        const BuildProject &configuration = *m_copies[row];
        table->setItem(row, 0, new QTableWidgetItem(configuration.name()));
        m_names.append(configuration.name());
        auto *targets = new CellComboBox(table);
        if (const BuildConfig *compiler = configuration.compiler()) {
            for (const TargetRecord &target : compiler->targets())
                targets->addItem(target.name);
        }
        const bool kept = row < chosen.size() && !chosen.at(row).isEmpty();
        const int current = targets->findText(kept ? chosen.at(row) : configuration.targetName());
        if (current >= 0)
            targets->setCurrentIndex(current);
        table->setCellWidget(row, 1, targets);
        m_targets.append(targets);
    }
    table->resizeColumnToContents(0);
    m_form->deleteButton->setEnabled(m_copies.size() > 1);
    m_updating = false;
}

// A name of letters, digits and underscores that no other configuration has, used here or not;
// anything else puts the name back.
void ConfigurationsDialog::itemChanged(QTableWidgetItem *item)
{
    if (m_updating || !item || item->column() != 0)
        return;
    const int row = item->row();
    if (row < 0 || row >= m_names.size())
        return;
    const QString name = item->text();
    if (name == m_names[row])
        return;
    // Letters of every script ("Débogage"), as the project file holds any text.
    static const QRegularExpression word(QStringLiteral("^\\w+$"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    bool taken = m_project && m_project->unusedConfigurationNames().contains(name);
    for (int other = 0; other < m_names.size(); ++other)
        taken = taken || (other != row && m_names[other] == name);
    if (taken || name.isEmpty() || !word.match(name).hasMatch()) {
        m_updating = true;
        item->setText(m_names[row]);
        m_updating = false;
        return;
    }
    m_names[row] = name;
}

// A target takes effect on OK only (a new one starts its steps' options afresh), so the rows
// keep what was chosen in their lists while the table is built again.
QStringList ConfigurationsDialog::keepRows()
{
    QStringList targets;
    for (int i = 0; i < int(m_copies.size()); ++i) {
        if (i < m_names.size())
            m_copies[i]->setName(m_names[i]);
        targets.append(i < m_targets.size() ? m_targets[i]->currentText() : QString());
    }
    return targets;
}

void ConfigurationsDialog::copyButtonClicked(bool)
{
    QTableWidget *table = m_form->configurationsTable;
    const int row = table->currentRow();
    if (row < 0 || row >= int(m_copies.size()))
        return;
    // The copy is of the row as it stands: its name and the target chosen for it.
    QStringList targets = keepRows();
    m_copies.push_back(std::make_unique<BuildProject>(*m_copies[row]));
    targets.append(targets.at(row));
    buildTable(targets);
    const int copy = table->rowCount() - 1;
    table->setCurrentCell(copy, 0);
    table->editItem(table->item(copy, 0));
}

void ConfigurationsDialog::deleteButtonClicked(bool)
{
    QTableWidget *table = m_form->configurationsTable;
    const int row = table->currentRow();
    if (row < 0 || row >= int(m_copies.size()) || m_copies.size() < 2)
        return;
    QStringList targets = keepRows();
    m_copies.erase(m_copies.begin() + row);
    targets.removeAt(row);
    buildTable(targets);
}

void ConfigurationsDialog::accept()
{
    QTableWidget *table = m_form->configurationsTable;
    const int rows = std::min(table->rowCount(), int(m_copies.size()));
    for (int row = 0; row < rows; ++row) {
        m_copies[row]->setName(table->item(row, 0)->text());
        // A new target rebuilds the configuration's tree; the same one keeps it as it is.
        const QString target = m_targets[row]->currentText();
        if (!target.isEmpty() && target != m_copies[row]->targetName())
            m_copies[row]->setTarget(target);
    }
    if (m_project && !m_copies.empty()) {
        m_project->replaceConfigurations(std::move(m_copies));
        m_project->setModified(true);
    }
    m_copies.clear();
    m_updating = true;
    table->clear();
    m_updating = false;
    CirraneDialog::accept();
}

void ConfigurationsDialog::reject()
{
    m_copies.clear();
    m_updating = true;
    m_form->configurationsTable->clear();
    m_updating = false;
    CirraneDialog::reject();
}
