#include "sampleproject.h"
#include "ui_sampleproject.h"

#include "project.h"

#include "build/buildproject.h"

#include "core/mainservices.h"
#include "core/simulatorqueries.h"
#include "core/ui/busycursor.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Adds a name unless the list holds it already in another letter case.
void addOnce(QStringList &list, const QString &name)
{
    if (!name.isEmpty() && !list.contains(name, Qt::CaseInsensitive))
        list.append(name);
}

} // namespace

SampleProject::SampleProject(MainServices *mainWindow, BuildConfigList *catalogue, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::SampleProject>())
    , m_mainWindow(servicesOf(mainWindow))
    , m_catalogue(catalogue)
{
    m_form->setupUi(this);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &SampleProject::reject);
    connect(m_form->okButton, &QPushButton::clicked, this, &SampleProject::openSample);
    connect(m_form->categoryComboBox,
            &QComboBox::currentIndexChanged,
            this,
            &SampleProject::filterProjects);
    connect(m_form->controllerComboBox,
            &QComboBox::currentIndexChanged,
            this,
            &SampleProject::filterProjects);
    connect(m_form->projectsListWidget,
            &QListWidget::currentTextChanged,
            this,
            &SampleProject::updateDescription);

    const QString installation = m_mainWindow.simulator().simulatorDirectory(false);
    m_loading = true;
    m_form->projectsListWidget->clear();
    m_form->projectInfoTextEdit->clear();
    if (!installation.isEmpty()) {
        m_directory = installation + QDir::separator() + QStringLiteral("SAMPLES");
        if (QFileInfo(m_directory).isDir()) {
            const BusyCursor busy;
            scan(m_directory);
        }
    }
    QStringList categories;
    QStringList families;
    for (const Sample &sample : m_samples) {
        for (const QString &keyword : sample.project->keywords())
            addOnce(categories, keyword);
        if (const BuildProject *configuration = sample.project->activeConfiguration())
            addOnce(families, configuration->family());
    }
    categories.sort(Qt::CaseSensitive);
    families.sort(Qt::CaseSensitive);
    m_form->categoryComboBox->addItem(tr("All"));
    m_form->categoryComboBox->addItems(categories);
    m_form->controllerComboBox->addItem(tr("All"));
    m_form->controllerComboBox->addItems(families);
    m_loading = false;
    filterProjects();
}

SampleProject::~SampleProject() = default;

// Project files first, then the folders, each in name order.
void SampleProject::scan(const QString &directory)
{
    const QDir folder(directory);
    for (const QFileInfo &entry :
         folder.entryInfoList({QStringLiteral("*.dyxp")},
                              QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
                              QDir::Name | QDir::DirsLast)) {
        if (entry.isDir()) {
            scan(entry.absoluteFilePath());
            continue;
        }
        if (!entry.fileName().toUpper().endsWith(QLatin1String(".DYXP")))
            continue;
        auto project = std::make_unique<Project>(m_catalogue, nullptr);
        if (!project->load(entry.absoluteFilePath()))
            continue;
        m_samples.push_back({std::move(project),
                             entry.fileName().section(QLatin1Char('.'), 0, 0),
                             entry.absoluteFilePath()});
    }
}

QStringList SampleProject::listed() const
{
    QStringList names;
    for (int i = 0; i < m_form->projectsListWidget->count(); ++i)
        names.append(m_form->projectsListWidget->item(i)->text());
    return names;
}

void SampleProject::filterProjects()
{
    QComboBox *category = m_form->categoryComboBox;
    QComboBox *family = m_form->controllerComboBox;
    if (m_loading || category->currentIndex() < 0 || family->currentIndex() < 0)
        return;
    m_form->projectsListWidget->clear();
    for (const Sample &sample : m_samples) {
        const bool inCategory = category->currentIndex() == 0
                                || sample.project->keywords().contains(category->currentText(),
                                                                       Qt::CaseInsensitive);
        const BuildProject *configuration = sample.project->activeConfiguration();
        const bool inFamily = family->currentIndex() == 0
                              || (configuration
                                  && configuration->family().compare(family->currentText(),
                                                                     Qt::CaseInsensitive)
                                         == 0);
        if (inCategory && inFamily)
            m_form->projectsListWidget->addItem(sample.name);
    }
    if (m_form->projectsListWidget->count() > 0)
        m_form->projectsListWidget->setCurrentRow(0);
}

const SampleProject::Sample *SampleProject::selected() const
{
    const QListWidgetItem *item = m_form->projectsListWidget->currentItem();
    if (!item)
        return nullptr;
    for (const Sample &sample : m_samples) {
        if (sample.name == item->text())
            return &sample;
    }
    return nullptr;
}

void SampleProject::updateDescription()
{
    m_form->projectInfoTextEdit->clear();
    if (const Sample *sample = selected())
        sample->project->describe(m_form->projectInfoTextEdit);
}

void SampleProject::openSample()
{
    const Sample *sample = selected();
    m_opened = sample ? sample->path : QString();
    accept();
    if (sample)
        emit sampleChosen(m_opened);
}
