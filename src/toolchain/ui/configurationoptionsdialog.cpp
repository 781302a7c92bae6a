#include "configurationoptionsdialog.h"
#include "ui_configurationoptionsdialog.h"

#include "build/configuredproject.h"
#include "controllerdialog.h"

#include "build/buildproject.h"
#include "core/ui/cellcombobox.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildtool.h"

#include "core/commandstate.h"
#include "core/mainservices.h"
#include "core/simulatorqueries.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

namespace {

enum Column { DescriptionColumn, OptionColumn, ValueColumn, TypeColumn };

QString genericOption()
{
    return QCoreApplication::translate("ConfigurationOptionsDialog", "Generic Option");
}

QTableWidgetItem *fixedItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// Values of number options take what the tool reads: decimal digits (a sign and a decimal point,
// too) or "0x" and hexadecimal digits; hexadecimal digits alone where the tool reads those.
class NumberDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent,
                          const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        const QString type = index.siblingAtColumn(TypeColumn).data().toString();
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (line && type == ConfigurationOptionsDialog::tr("Number")) {
            static const QRegularExpression number(
                QStringLiteral("[-+]?[0-9]*\\.?[0-9]*|0[xX][0-9a-fA-F]*"));
            static const QRegularExpression hexadecimal(QStringLiteral("(0[xX])?[0-9a-fA-F]*"));
            const bool hex = index.data(Qt::UserRole).toInt() == 16;
            line->setValidator(new QRegularExpressionValidator(hex ? hexadecimal : number, line));
        }
        return editor;
    }
};

} // namespace

ConfigurationOptionsDialog::ConfigurationOptionsDialog(ConfiguredProject *project,
                                                       int activeConfiguration,
                                                       MainServices *mainWindow,
                                                       QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::CompilerOptionsDialog>())
    , m_project(project)
    , m_mainWindow(servicesOf(mainWindow))
{
    m_form->setupUi(this);
    m_form->settingsTabWidget->setCurrentIndex(0);
    if (!m_mainWindow.commands().isAdvanced()) {
        m_form->settingsTabWidget->removeTab(m_form->settingsTabWidget->indexOf(m_form->projectTab));
        m_projectTab = false;
    }
    QTableWidget *table = m_form->optionsTable;
    table->setColumnCount(4);
    table->setHorizontalHeaderLabels({tr("desc"), tr("Option"), tr("Value"), tr("Value Type")});
    table->setColumnHidden(DescriptionColumn, true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->setItemDelegateForColumn(ValueColumn, new NumberDelegate(table));
    // The value takes the room the names and types leave.
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setSectionResizeMode(ValueColumn, QHeaderView::Stretch);

    // The table edits the configuration's settings: those every step of a tool holds, the
    // ones naming a file of the step (an ID) included, come up to it.
    for (int i = 0; project && i < project->configurationCount(); ++i) {
        m_copies.push_back(std::make_unique<BuildProject>(*project->configuration(i)));
        m_copies.back()->hoist(true);
    }
    m_updating = true;
    for (int i = 0; i < int(m_copies.size()); ++i) {
        const QString name = m_copies[i]->name();
        m_form->configurationsCombo->addItem(i == activeConfiguration ? name + tr(" (Active)")
                                                                      : name);
    }
    const bool active = activeConfiguration >= 0 && activeConfiguration < int(m_copies.size());
    m_form->configurationsCombo->setCurrentIndex(active ? activeConfiguration : 0);
    m_updating = false;
    if (project) {
        m_form->descriptionEdit->setText(project->description());
        m_form->descriptionEdit->setCursorPosition(0);
        m_form->keywordsComboBox->addItems(project->keywords());
    }

    connect(m_form->okButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::okButtonClicked);
    connect(m_form->cancelButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::cancelButtonClicked);
    connect(m_form->deleteButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::deleteButtonClicked);
    connect(m_form->addOptionButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::addOption);
    connect(m_form->upButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::upButtonClicked);
    connect(m_form->downButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::downButtonClicked);
    connect(m_form->defaultsButton,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::defaultsButtonClicked);
    connect(m_form->addKeywordBtn,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::addKeywordBtnClicked);
    connect(m_form->removeKeywordBtn,
            &QPushButton::clicked,
            this,
            &ConfigurationOptionsDialog::removeKeywordBtnClicked);
    connect(m_form->toolComboBox,
            &QComboBox::currentIndexChanged,
            this,
            &ConfigurationOptionsDialog::toolComboBoxIndexChanged);
    connect(m_form->addComboBox,
            &QComboBox::currentIndexChanged,
            this,
            &ConfigurationOptionsDialog::setOptionsComboTooltip);
    connect(m_form->configurationsCombo,
            &QComboBox::currentIndexChanged,
            this,
            &ConfigurationOptionsDialog::currentConfigurationChanged);
    connect(m_form->controllerCombo,
            &QComboBox::currentTextChanged,
            this,
            &ConfigurationOptionsDialog::currentControllerChanged);
    connect(table,
            &QTableWidget::currentCellChanged,
            this,
            &ConfigurationOptionsDialog::selectedOptionChanged);
    currentConfigurationChanged();
}

ConfigurationOptionsDialog::~ConfigurationOptionsDialog() = default;

BuildProject *ConfigurationOptionsDialog::current() const
{
    return m_current >= 0 && m_current < int(m_copies.size()) ? m_copies[m_current].get() : nullptr;
}

QString ConfigurationOptionsDialog::currentTool() const
{
    return m_form->toolComboBox->currentText().section(QLatin1Char(':'), 0, 0);
}

QList<OptionDefinition> ConfigurationOptionsDialog::toolDefinitions() const
{
    const BuildProject *configuration = current();
    const BuildConfig *compiler = configuration ? configuration->compiler() : nullptr;
    const BuildTool *tool = compiler ? compiler->tool(currentTool()) : nullptr;
    return tool ? tool->options() : QList<OptionDefinition>();
}

void ConfigurationOptionsDialog::currentConfigurationChanged()
{
    if (m_updating)
        return;
    storeValues();
    storeClock();
    m_current = m_form->configurationsCombo->currentIndex();
    BuildProject *configuration = current();
    if (!configuration)
        return;
    m_updating = true;
    m_form->toolChainEdit->setText(configuration->compilerName());
    m_form->controllerFamilyEdit->setText(configuration->family());
    m_form->clockFrequency->setText(ControllerDialog::clockDisplay(configuration->clock()));
    m_updating = false;
    fillControllers();
    m_updating = true;
    m_form->toolComboBox->clear();
    if (const BuildConfig *compiler = configuration->compiler())
        m_form->toolComboBox->addItems(compiler->toolNames());
    m_updating = false;
    fillTable();
}

// The controllers of the family that the compiler builds for and the simulator runs.
void ConfigurationOptionsDialog::fillControllers()
{
    const BuildProject *configuration = current();
    m_updating = true;
    m_form->controllerCombo->clear();
    const BuildConfig *compiler = configuration ? configuration->compiler() : nullptr;
    if (compiler) {
        for (const FamilyRecord &family : compiler->families()) {
            if (family.name.compare(configuration->family(), Qt::CaseInsensitive) != 0)
                continue;
            for (const ControllerRecord &controller : family.controllers) {
                if (m_mainWindow.simulator().isSimulated(family.name, controller.name))
                    m_form->controllerCombo->addItem(controller.name);
            }
        }
    }
    m_form->controllerCombo->setCurrentIndex(
        configuration ? m_form->controllerCombo->findText(configuration->controller()) : -1);
    m_updating = false;
}

void ConfigurationOptionsDialog::currentControllerChanged(const QString &text)
{
    BuildProject *configuration = current();
    if (m_updating || !configuration || text.isEmpty())
        return;
    storeValues();
    configuration->setController(configuration->family(), text, true);
    configuration->hoist(true);
    fillTable();
}

void ConfigurationOptionsDialog::addRow(int settingIndex, const OptionDefinition *definition)
{
    QTableWidget *table = m_form->optionsTable;
    const OptionSetting &setting = current()->options().at(settingIndex);
    const int row = table->rowCount();
    table->insertRow(row);
    m_rowSettings.append(settingIndex);
    table->setItem(row,
                   DescriptionColumn,
                   fixedItem(definition ? definition->description : QString()));
    table->setItem(row, OptionColumn, fixedItem(setting.name));
    const OptionDefinition::ParameterType type = definition ? definition->type
                                                            : OptionDefinition::String;
    switch (type) {
    case OptionDefinition::None:
        table->setItem(row, ValueColumn, fixedItem(QString()));
        table->setItem(row, TypeColumn, fixedItem(tr("None")));
        break;
    case OptionDefinition::Number: {
        auto *value = new QTableWidgetItem(setting.value);
        value->setData(Qt::UserRole, definition->radix);
        table->setItem(row, ValueColumn, value);
        table->setItem(row, TypeColumn, fixedItem(tr("Number")));
        break;
    }
    case OptionDefinition::String:
        table->setItem(row, ValueColumn, new QTableWidgetItem(setting.value));
        table->setItem(row, TypeColumn, fixedItem(tr("String")));
        break;
    case OptionDefinition::Choice: {
        auto *choices = new CellComboBox(table);
        for (const ChoiceRecord &choice : definition->choices) {
            choices->addItem(choice.value);
            choices->setItemData(choices->count() - 1, choice.description, Qt::ToolTipRole);
        }
        choices->setCurrentIndex(choices->findText(setting.value));
        table->setItem(row, ValueColumn, new QTableWidgetItem);
        table->setCellWidget(row, ValueColumn, choices);
        table->setItem(row, TypeColumn, fixedItem(tr("Choice")));
        break;
    }
    }
}

void ConfigurationOptionsDialog::fillTable()
{
    QTableWidget *table = m_form->optionsTable;
    m_updating = true;
    table->setRowCount(0);
    m_rowSettings.clear();
    table->setColumnHidden(DescriptionColumn, true);
    const QString tool = currentTool();
    const QList<OptionDefinition> definitions = toolDefinitions();
    // Shown as the option and its description, known by the option's own name (which may end
    // in a blank, or hold one).
    QList<std::pair<QString, QString>> offered;
    if (BuildProject *configuration = current()) {
        const QList<OptionSetting> &settings = configuration->options();
        for (int i = 0; i < settings.size(); ++i) {
            if (settings[i].tool != tool)
                continue;
            const OptionDefinition *definition = nullptr;
            for (const OptionDefinition &d : definitions) {
                if (d.name == settings[i].name && d.id == settings[i].id)
                    definition = &d;
            }
            addRow(i, definition);
        }
        for (const OptionDefinition &definition : definitions) {
            const bool used = std::any_of(settings.cbegin(),
                                          settings.cend(),
                                          [&](const OptionSetting &s) {
                                              return s.tool == tool && s.name == definition.name
                                                     && s.id == definition.id;
                                          });
            if (definition.multiple || !used)
                offered.append(
                    {definition.name + QLatin1Char(' ') + definition.description, definition.name});
        }
    }
    std::sort(offered.begin(), offered.end());
    m_form->addComboBox->clear();
    m_form->addComboBox->addItem(genericOption());
    for (const auto &[text, name] : std::as_const(offered))
        m_form->addComboBox->addItem(text, name);
    m_form->addComboBox->setCurrentIndex(0);
    table->resizeColumnToContents(OptionColumn);
    table->resizeColumnToContents(TypeColumn);
    m_updating = false;
    setOptionsComboTooltip(0);
    selectedOptionChanged();
}

void ConfigurationOptionsDialog::toolComboBoxIndexChanged(int)
{
    if (m_updating)
        return;
    storeValues();
    fillTable();
}

// Every row's value into its setting, marked default when it is the default value.
void ConfigurationOptionsDialog::storeValues()
{
    BuildProject *configuration = current();
    if (!configuration)
        return;
    QTableWidget *table = m_form->optionsTable;
    QList<OptionSetting> &settings = configuration->options();
    for (int row = 0; row < table->rowCount() && row < m_rowSettings.size(); ++row) {
        const int index = m_rowSettings[row];
        if (index < 0 || index >= settings.size())
            continue;
        QString value;
        if (const auto *choices = qobject_cast<QComboBox *>(table->cellWidget(row, ValueColumn)))
            value = choices->currentText();
        else if (const QTableWidgetItem *item = table->item(row, ValueColumn))
            value = item->text();
        OptionSetting &setting = settings[index];
        setting.value = value;
        setting.isDefault = value
                            == configuration->defaultValue(setting.tool, setting.name, setting.id);
    }
}

void ConfigurationOptionsDialog::storeClock()
{
    if (BuildProject *configuration = current())
        configuration->setClock(m_form->clockFrequency->text());
}

void ConfigurationOptionsDialog::selectedOptionChanged()
{
    QTableWidget *table = m_form->optionsTable;
    const int row = table->currentRow();
    m_form->descriptionTextEdit->setPlainText(row >= 0 && table->item(row, DescriptionColumn)
                                                  ? table->item(row, DescriptionColumn)->text()
                                                  : m_form->addComboBox->currentText());
}

void ConfigurationOptionsDialog::setOptionsComboTooltip(int)
{
    const QString text = m_form->addComboBox->currentText();
    QString tip;
    if (text == genericOption()) {
        tip = tr("Generic Option allows arbitrary options to be created");
    } else {
        const QString name = m_form->addComboBox->currentData().toString();
        for (const OptionDefinition &definition : toolDefinitions()) {
            if (definition.name == name)
                tip = definition.description;
        }
    }
    m_form->addComboBox->setToolTip(tip);
    m_form->descriptionTextEdit->setPlainText(tip);
}

void ConfigurationOptionsDialog::addOption()
{
    BuildProject *configuration = current();
    if (m_updating || !configuration)
        return;
    storeValues();
    const QString text = m_form->addComboBox->currentText();
    const QString tool = currentTool();
    OptionSetting setting;
    setting.tool = tool;
    if (text != genericOption()) {
        const QString name = m_form->addComboBox->currentData().toString();
        const QList<OptionDefinition> definitions = toolDefinitions();
        const auto definition = std::find_if(definitions.cbegin(),
                                             definitions.cend(),
                                             [&](const OptionDefinition &d) {
                                                 return d.name == name;
                                             });
        if (definition == definitions.cend())
            return;
        setting.name = definition->name;
        setting.id = definition->id;
        setting.isDefault = true;
        switch (definition->type) {
        case OptionDefinition::Number:
        case OptionDefinition::String:
            setting.value = configuration->defaultValue(tool, setting.name, setting.id);
            break;
        case OptionDefinition::Choice:
            for (const ChoiceRecord &choice : definition->choices) {
                if (choice.isDefault) {
                    setting.value = choice.value;
                    break;
                }
            }
            break;
        case OptionDefinition::None:
            break;
        }
    }
    configuration->options().append(setting);
    fillTable();
    // The new row is the last one of its tool.
    QTableWidget *table = m_form->optionsTable;
    if (table->rowCount() > 0)
        table->setCurrentCell(table->rowCount() - 1, OptionColumn);
}

void ConfigurationOptionsDialog::deleteButtonClicked(bool)
{
    BuildProject *configuration = current();
    QTableWidget *table = m_form->optionsTable;
    const int row = table->currentRow();
    if (!configuration || row < 0)
        return;
    storeValues();
    const QString name = table->item(row, OptionColumn)->text();
    const QString value = configuration->options().value(m_rowSettings.value(row, -1)).value;
    const QString tool = currentTool();
    QList<OptionSetting> &settings = configuration->options();
    for (int i = 0; i < settings.size(); ++i) {
        if (settings[i].name == name && settings[i].value == value
            && (settings[i].tool.isEmpty() || settings[i].tool == tool)) {
            settings.removeAt(i);
            fillTable();
            return;
        }
    }
}

// The order of the settings is the order the options take on the command line.
void ConfigurationOptionsDialog::moveRow(int offset)
{
    BuildProject *configuration = current();
    QTableWidget *table = m_form->optionsTable;
    const int row = table->currentRow();
    const int other = row + offset;
    if (!configuration || row < 0 || other < 0 || other >= table->rowCount())
        return;
    storeValues();
    configuration->options().swapItemsAt(m_rowSettings[row], m_rowSettings[other]);
    fillTable();
    table->setCurrentCell(other, OptionColumn);
}

void ConfigurationOptionsDialog::upButtonClicked(bool)
{
    moveRow(-1);
}

void ConfigurationOptionsDialog::downButtonClicked(bool)
{
    moveRow(1);
}

void ConfigurationOptionsDialog::defaultsButtonClicked(bool)
{
    BuildProject *configuration = current();
    if (!configuration)
        return;
    configuration->restoreDefaults();
    fillTable();
}

void ConfigurationOptionsDialog::addKeywordBtnClicked(bool)
{
    const QString keyword = m_form->keywordsEdit->text();
    if (keyword.isEmpty())
        return;
    m_form->keywordsComboBox->addItem(keyword);
    m_form->keywordsEdit->clear();
}

void ConfigurationOptionsDialog::removeKeywordBtnClicked(bool)
{
    const int index = m_form->keywordsComboBox->currentIndex();
    if (index >= 0)
        m_form->keywordsComboBox->removeItem(index);
}

void ConfigurationOptionsDialog::okButtonClicked(bool)
{
    m_resultCode = OkResult;
    storeValues();
    storeClock();
    if (m_project) {
        for (const auto &copy : m_copies) {
            copy->pushDown();
            copy->hoist(false);
        }
        m_project->replaceConfigurations(std::move(m_copies));
        m_copies.clear();
        m_current = -1;
        if (m_projectTab) {
            m_project->setDescription(m_form->descriptionEdit->text());
            QStringList keywords;
            for (int i = 0; i < m_form->keywordsComboBox->count(); ++i)
                keywords.append(m_form->keywordsComboBox->itemText(i));
            m_project->setKeywords(keywords);
        }
        m_project->setModified(true);
    }
    accept();
}

void ConfigurationOptionsDialog::cancelButtonClicked(bool)
{
    m_resultCode = CancelResult;
    reject();
}
