#pragma once

#include "core/ui/cirranedialog.h"

#include <memory>
#include <vector>

class BuildConfigList;
class MainServices;
class Project;

namespace Ui {
class SampleProject;
}

// The sample projects of the simulator suite, by category and controller family, with the
// chosen one's summary; OK opens it.
class SampleProject : public CirraneDialog
{
    Q_OBJECT

public:
    SampleProject(MainServices *mainWindow, BuildConfigList *catalogue, QWidget *parent);
    // Its page in the help.
    int helpContextId() const override { return 26; }
    ~SampleProject() override;

    // The names listed now.
    QStringList listed() const;

signals:
    // OK on a sample: the projects manager opens it.
    void sampleChosen(const QString &path);

public slots:
    void openSample();
    void filterProjects();
    void updateDescription();

private:
    struct Sample
    {
        std::unique_ptr<Project> project;
        QString name;
        QString path;
    };
    void scan(const QString &directory);
    const Sample *selected() const;

    std::unique_ptr<Ui::SampleProject> m_form;
    MainServices &m_mainWindow;
    BuildConfigList *m_catalogue;
    QString m_directory;
    std::vector<Sample> m_samples;
    bool m_loading = false;
    QString m_opened;
};
