#include "controllerdialog.h"
#include "ui_controllerdialog.h"

#include "build/configuredproject.h"
#include "compilersdialog.h"

#include "build/buildproject.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include "core/commandstate.h"
#include "core/mainservices.h"
#include "core/simulatorqueries.h"
#include "core/ui/prompts.h"

#include <QRegularExpression>

namespace {

const QString notInstalled()
{
    return QCoreApplication::translate("ControllerDialog", " (Not Installed)");
}

QString withoutSuffix(QString text)
{
    if (text.endsWith(notInstalled()))
        text.chop(notInstalled().size());
    return text;
}

// Adds a name unless the list holds it already in another letter case.
void addOnce(QStringList &list, const QString &name)
{
    if (!list.contains(name, Qt::CaseInsensitive))
        list.append(name);
}

// Shows the text in the combo box: selected when the list holds it, else as editable text, so
// that what a project asks for stays in sight even when nothing offers it any more.
void showIn(QComboBox *combo, const QStringList &list, const QString &text)
{
    const int index = list.indexOf(text);
    if (index >= 0) {
        combo->setEditable(false);
        combo->setCurrentIndex(index);
    } else {
        combo->setEditable(true);
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    }
}

} // namespace

ControllerDialog::ControllerDialog(ConfiguredProject *project,
                                   BuildConfigList *catalogue,
                                   MainServices *mainWindow,
                                   QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::ControllerDialog>())
    , m_project(project)
    , m_catalogue(catalogue)
    , m_mainWindow(servicesOf(mainWindow))
{
    m_form->setupUi(this);
    setWindowTitle(project ? tr("%1 Project Settings").arg(project->name())
                           : tr("Controller Selection"));
    const bool advanced = m_mainWindow.commands().isAdvanced();
    m_form->projectSettingsGroup->setVisible(advanced);
    m_form->simulatorOnly->setVisible(advanced);
    setWizardPage(false);

    load(true);

    const auto button = [this](QAbstractButton *widget, void (ControllerDialog::*slot)(bool)) {
        connect(widget, &QAbstractButton::clicked, this, slot);
    };
    button(m_form->backButton, &ControllerDialog::backButtonClicked);
    button(m_form->nextButton, &ControllerDialog::nextButtonClicked);
    button(m_form->okButton, &ControllerDialog::okButtonClicked);
    button(m_form->cancelButton, &ControllerDialog::cancelButtonClicked);
    button(m_form->compilersPushButton, &ControllerDialog::compilersButtonClicked);
    button(m_form->addKeywordBtn, &ControllerDialog::addKeywordBtnClicked);
    button(m_form->removeKeywordBtn, &ControllerDialog::removeKeywordBtnClicked);
    const auto combo = [this](QComboBox *widget, void (ControllerDialog::*slot)(const QString &)) {
        connect(widget, &QComboBox::editTextChanged, this, slot);
        connect(widget, &QComboBox::currentTextChanged, this, slot);
        connect(widget, &QComboBox::editTextChanged, this, &ControllerDialog::checkDialogIsComplete);
        connect(widget,
                &QComboBox::currentIndexChanged,
                this,
                &ControllerDialog::checkDialogIsComplete);
    };
    combo(m_form->controllerFamily, &ControllerDialog::controllerFamilyIndexChanged);
    combo(m_form->controller, &ControllerDialog::controllerIndexChanged);
    combo(m_form->compiler, &ControllerDialog::compilerIndexChanged);
    connect(m_form->simulatorOnly,
            &QCheckBox::stateChanged,
            this,
            &ControllerDialog::simulatorOnlyChanged);
    connect(m_form->clockFrequency, &QLineEdit::textChanged, this, &ControllerDialog::clockChanged);
    connect(m_form->descriptionEdit,
            &QLineEdit::textEdited,
            this,
            &ControllerDialog::descriptionChanged);
    checkDialogIsComplete();
}

ControllerDialog::~ControllerDialog() = default;

void ControllerDialog::setWizardPage(bool wizard, bool nextShown)
{
    m_form->backButton->setVisible(wizard);
    m_form->nextButton->setVisible(wizard && nextShown);
}

QString ControllerDialog::clockDisplay(const QString &clock)
{
    if (clock.isEmpty() || clock.contains(QLatin1String("hz"), Qt::CaseInsensitive))
        return clock;
    static const QRegularExpression lastSignificant(QStringLiteral("[1-9][^1-9]*$"));
    const QRegularExpressionMatch match = lastSignificant.match(clock);
    qsizetype trailing = match.hasMatch() ? match.capturedLength() - 1 : 0;
    trailing -= trailing % 3;
    switch (trailing) {
    case 3:
        return clock.chopped(3) + QStringLiteral("KHz");
    case 6:
        return clock.chopped(6) + QStringLiteral("MHz");
    case 9:
        return clock.chopped(9) + QStringLiteral("GHz");
    default:
        return clock + QStringLiteral("Hz");
    }
}

BuildProject *ControllerDialog::current() const
{
    return m_copies.empty() ? nullptr : m_copies.front().get();
}

bool ControllerDialog::simulatorOnly() const
{
    return m_form->simulatorOnly->isChecked();
}

// The working copies (when asked), the choice table and the lists, showing the current
// configuration's target.
void ControllerDialog::load(bool copyConfigurations)
{
    if (copyConfigurations) {
        m_copies.clear();
        for (int i = 0; m_project && i < m_project->configurationCount(); ++i)
            m_copies.push_back(std::make_unique<BuildProject>(*m_project->configuration(i)));
    }
    buildChoices();
    fillFamilies();
    if (const BuildProject *configuration = current()) {
        m_requestedFamily = configuration->family();
        selectFamily(m_requestedFamily);
        m_requestedController = configuration->controller();
        selectController(m_requestedController);
        m_requestedCompiler = configuration->compilerName();
        selectCompiler(m_requestedCompiler);
        const QSignalBlocker blocker(m_form->clockFrequency);
        m_form->clockFrequency->setText(clockDisplay(configuration->clock()));
        current()->setClock(m_form->clockFrequency->text());
    } else {
        selectFamily(QString());
    }
    if (m_project && copyConfigurations) {
        setWindowTitle(tr("%1 Project Settings").arg(m_project->name()));
        m_form->descriptionEdit->setText(m_project->description());
        m_form->descriptionEdit->setCursorPosition(0);
        m_form->keywordsComboBox->clear();
        m_form->keywordsComboBox->addItems(m_project->keywords());
    }
}

void ControllerDialog::buildChoices()
{
    m_table.clear();
    if (!m_catalogue)
        return;
    SimulatorQueries &simulator = m_mainWindow.simulator();
    for (const QString &name : m_catalogue->names(false)) {
        const BuildConfig *compiler = m_catalogue->find(name);
        if (!compiler)
            continue;
        for (const FamilyRecord &family : compiler->families()) {
            auto entry = std::find_if(m_table.begin(), m_table.end(), [&](const FamilyChoices &f) {
                return f.name.compare(family.name, Qt::CaseInsensitive) == 0;
            });
            if (entry == m_table.end()) {
                m_table.append({family.name, {}});
                entry = m_table.end() - 1;
            }
            for (const ControllerRecord &controller : family.controllers) {
                const bool known = std::any_of(entry->choices.cbegin(),
                                               entry->choices.cend(),
                                               [&](const Choice &c) {
                                                   return c.controller == controller.name
                                                          && c.compiler == name;
                                               });
                if (known)
                    continue;
                entry->choices.append({controller.name,
                                       name,
                                       compiler->isConfigured(),
                                       simulator.isSimulated(family.name, controller.name)});
            }
        }
    }
}

const ControllerDialog::FamilyChoices *ControllerDialog::familyChoices(const QString &family) const
{
    for (const FamilyChoices &entry : m_table) {
        if (entry.name.compare(family, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

// A family is offered when the simulator runs one of its controllers and, unless the user asks
// for everything the simulator runs, an installed compiler builds for it.
void ControllerDialog::fillFamilies()
{
    m_families.clear();
    for (const FamilyChoices &family : std::as_const(m_table)) {
        const auto any = [&](bool Choice::*flag) {
            return std::any_of(family.choices.cbegin(),
                               family.choices.cend(),
                               [flag](const Choice &c) { return c.*flag; });
        };
        if (any(&Choice::simulated) && (simulatorOnly() || any(&Choice::installed)))
            addOnce(m_families, family.name);
    }
    m_families.sort(Qt::CaseSensitive);
    m_updating = true;
    m_form->controllerFamily->clear();
    m_form->controllerFamily->addItems(m_families);
    m_updating = false;
}

void ControllerDialog::selectFamily(const QString &family)
{
    m_currentFamily = family;
    m_requestedController.clear();
    m_updating = true;
    showIn(m_form->controllerFamily, m_families, family);
    m_controllers.clear();
    if (const FamilyChoices *choices = familyChoices(family)) {
        for (const Choice &choice : choices->choices) {
            if (choice.simulated && (simulatorOnly() || choice.installed))
                addOnce(m_controllers, choice.controller);
        }
    }
    m_controllers.sort(Qt::CaseSensitive);
    m_form->controller->clear();
    m_form->controller->addItems(m_controllers);
    m_updating = false;
    selectController(m_requestedController);
}

void ControllerDialog::selectController(const QString &controller)
{
    m_currentController = controller;
    m_updating = true;
    showIn(m_form->controller, m_controllers, controller);
    m_compilers.clear();
    if (const FamilyChoices *choices = familyChoices(m_currentFamily)) {
        for (const Choice &choice : choices->choices) {
            if (choice.controller.compare(controller, Qt::CaseInsensitive) != 0
                || (simulatorOnly() && !choice.simulated))
                continue;
            const QString shown = choice.installed ? choice.compiler
                                                   : choice.compiler + notInstalled();
            if (!m_compilers.contains(shown))
                m_compilers.append(shown);
        }
    }
    m_compilers.sort(Qt::CaseSensitive);
    m_form->compiler->clear();
    m_form->compiler->addItems(m_compilers);
    m_updating = false;
    if (m_requestedCompiler.isEmpty() && current() && m_catalogue)
        m_requestedCompiler = m_catalogue->compilerFor(m_currentFamily,
                                                       m_currentController,
                                                       current()->allFiles());
    selectCompiler(m_requestedCompiler);
    m_form->compilersPushButton->setEnabled(m_form->compiler->count() > 0);
}

void ControllerDialog::selectCompiler(const QString &compiler)
{
    int index = m_compilers.indexOf(compiler);
    if (index < 0)
        index = m_compilers.indexOf(compiler + notInstalled());
    if (index < 0 && !m_compilers.isEmpty())
        index = 0;
    m_updating = true;
    if (index >= 0)
        showIn(m_form->compiler, m_compilers, m_compilers.at(index));
    else
        showIn(m_form->compiler, m_compilers, compiler);
    m_updating = false;
    m_currentCompiler = withoutSuffix(m_form->compiler->currentText());
    m_requestedCompiler = m_currentCompiler;
    checkDialogIsComplete();
}

void ControllerDialog::controllerFamilyIndexChanged(const QString &text)
{
    if (!m_updating)
        selectFamily(text);
}

void ControllerDialog::controllerIndexChanged(const QString &text)
{
    if (!m_updating)
        selectController(text);
}

void ControllerDialog::compilerIndexChanged(const QString &text)
{
    if (!m_updating)
        selectCompiler(withoutSuffix(text));
}

void ControllerDialog::simulatorOnlyChanged(int)
{
    fillFamilies();
    const QString family = m_currentFamily;
    const QString controller = m_currentController;
    selectFamily(family);
    m_requestedController = controller;
    selectController(controller);
}

void ControllerDialog::checkDialogIsComplete()
{
    const bool complete = !m_form->controllerFamily->currentText().isEmpty()
                          && !m_form->controller->currentText().isEmpty()
                          && !m_form->compiler->currentText().isEmpty();
    m_form->nextButton->setEnabled(complete);
    m_form->okButton->setEnabled(complete);
}

void ControllerDialog::clockChanged(const QString &text)
{
    if (BuildProject *configuration = current())
        configuration->setClock(text);
}

void ControllerDialog::addKeywordBtnClicked(bool)
{
    const QString keyword = m_form->keywordsEdit->text();
    if (keyword.isEmpty())
        return;
    m_form->keywordsComboBox->addItem(keyword);
    if (m_project)
        m_project->setModified(true);
    m_form->keywordsEdit->clear();
}

void ControllerDialog::removeKeywordBtnClicked(bool)
{
    const int index = m_form->keywordsComboBox->currentIndex();
    if (index < 0)
        return;
    m_form->keywordsComboBox->removeItem(index);
    if (m_project)
        m_project->setModified(true);
}

void ControllerDialog::descriptionChanged(const QString &)
{
    if (m_project)
        m_project->setModified(true);
}

// The compiler, family and controller shown become the current configuration's: a new
// compiler rebuilds its tree with that compiler's defaults, a new controller swaps the
// controller's default options and keeps the user's own.
void ControllerDialog::storeCurrent()
{
    BuildProject *configuration = current();
    if (!configuration)
        return;
    if (!m_currentCompiler.isEmpty() && configuration->compilerName() != m_currentCompiler)
        configuration->setCompiler(m_currentCompiler, true);
    if (configuration->family() != m_currentFamily
        || configuration->controller() != m_currentController)
        configuration->setController(m_currentFamily, m_currentController, true);
}

void ControllerDialog::compilersButtonClicked(bool)
{
    storeCurrent();
    CompilersDialog dialog(m_catalogue, &m_mainWindow, this);
    dialog.exec();
    // Newly installed compilers lose their suffix; the choices made here stay.
    load(false);
}

bool ControllerDialog::writeBack()
{
    storeCurrent();
    if (!m_project)
        return true;
    std::vector<std::unique_ptr<BuildProject>> configurations;
    for (const auto &copy : m_copies)
        configurations.push_back(std::make_unique<BuildProject>(*copy));
    // Configurations without a target take the first one's.
    if (!configurations.empty()) {
        const BuildProject &reference = *configurations.front();
        const bool complete = !reference.family().isEmpty() && !reference.controller().isEmpty()
                              && !reference.compilerName().isEmpty();
        for (size_t i = 1; complete && i < configurations.size(); ++i) {
            BuildProject &other = *configurations[i];
            if (!other.family().isEmpty() && !other.controller().isEmpty()
                && !other.compilerName().isEmpty())
                continue;
            other.setCompiler(reference.compilerName(), true);
            other.setController(reference.family(), reference.controller(), true);
            other.setClock(reference.clock());
        }
    }
    m_project->replaceConfigurations(std::move(configurations));
    m_project->setDescription(m_form->descriptionEdit->text());
    QStringList keywords;
    for (int i = 0; i < m_form->keywordsComboBox->count(); ++i)
        keywords.append(m_form->keywordsComboBox->itemText(i));
    m_project->setKeywords(keywords);
    return true;
}

void ControllerDialog::cancelButtonClicked(bool)
{
    m_copies.clear();
    m_resultCode = CancelResult;
    reject();
}

void ControllerDialog::backButtonClicked(bool)
{
    m_copies.clear();
    m_resultCode = BackResult;
    accept();
}

void ControllerDialog::nextButtonClicked(bool)
{
    writeBack();
    m_resultCode = NextResult;
    accept();
}

void ControllerDialog::okButtonClicked(bool)
{
    if (m_form->compiler->currentText().endsWith(notInstalled())
        && Prompts::instance().message(QMessageBox::Warning,
                                       this,
                                       windowTitle(),
                                       tr("The selected compiler is not installed."),
                                       QMessageBox::Ok | QMessageBox::Cancel,
                                       QMessageBox::Cancel,
                                       tr("Do you want to proceed?"))
               != QMessageBox::Ok)
        return;
    writeBack();
    m_resultCode = OkResult;
    if (!m_project) {
        accept();
        return;
    }
    m_project->setModified(true);
    // A project that could not be saved keeps the dialog open.
    if (m_saveInPlace ? m_project->saveAs(false) : m_project->save())
        accept();
}
