// The new project wizard: a starting point (a development board, nothing, or a design file),
// then the project's target; the finished project is saved.
#include "project.h"

#include "devboarddialog.h"

#include "build/buildproject.h"
#include "toolchain/ui/controllerdialog.h"

#include "core/commandstate.h"
#include "core/mainservices.h"

#include <QFileInfo>

void Project::adoptFiles(const Project &other)
{
    for (const ProjectGroup &group : other.m_groups)
        m_groups.push_back({group.name, nullptr});
    for (const ProjectFile &file : other.m_files) {
        ProjectFile copy = file;
        copy.item = nullptr;
        copy.marked = false;
        m_files.push_back(copy);
    }
    m_description = other.m_description;
    m_keywords = other.m_keywords;
    m_name = other.m_name;
}

bool Project::runNewProjectWizard()
{
    QWidget *parent = m_mainWindow.commands().mainWidget();
    DevBoardDialog start(&m_mainWindow, m_catalogue, parent);
    start.setWizardPage(true);
    ControllerDialog settings(this, m_catalogue, &m_mainWindow, parent);
    settings.setWizardPage(true, false);
    for (;;) {
        if (start.exec() != QDialog::Accepted)
            return false;
        if (start.page() != DevBoardDialog::NextPage)
            continue;

        // The starting point: the board's project as it is, or two empty configurations.
        std::vector<std::unique_ptr<BuildProject>> configurations;
        m_files.clear();
        m_groups.clear();
        if (const Project *board = start.mode() == DevBoardDialog::DemoMode ? start.selectedBoard()
                                                                            : nullptr) {
            adoptFiles(*board);
            for (int i = 0; i < board->configurationCount(); ++i) {
                auto copy = std::make_unique<BuildProject>(*board->configuration(i));
                copy->setMainWindow(&m_mainWindow);
                configurations.push_back(std::move(copy));
            }
        } else {
            for (const char *name : {"Debug", "Release"}) {
                auto configuration = std::make_unique<BuildProject>(&m_mainWindow, m_catalogue);
                configuration->setTarget(QLatin1String(name));
                configuration->setName(QLatin1String(name));
                configurations.push_back(std::move(configuration));
            }
        }
        m_configurations = std::move(configurations);
        m_activeConfiguration = 0;
        // The name the project is first offered under: the board's, the design's, or a new one.
        if (start.mode() == DevBoardDialog::DesignFileMode)
            m_name = QFileInfo(start.designFile()).completeBaseName();
        else if (m_name.isEmpty())
            refreshName();
        if (start.mode() == DevBoardDialog::DesignFileMode) {
            for (const QString &file : start.filesToAdd())
                addFile(file);
        }
        for (const auto &configuration : m_configurations) {
            if (configuration->clock().isEmpty())
                configuration->setClock(QStringLiteral("4MHz"));
        }

        settings.setSaveInPlace(start.mode() == DevBoardDialog::DesignFileMode);
        settings.reload();
        settings.exec();
        switch (settings.resultCode()) {
        case ControllerDialog::OkResult:
            return true;
        case ControllerDialog::BackResult:
            continue;
        default:
            return false;
        }
    }
}
