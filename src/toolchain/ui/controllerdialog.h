#pragma once

#include "core/ui/cirranedialog.h"

#include <memory>
#include <vector>

class BuildConfigList;
class BuildProject;
class ConfiguredProject;
class MainServices;

namespace Ui {
class ControllerDialog;
}

// A project's target: controller family, controller, compiler and clock, chosen among what
// the installed compilers build for and the simulator runs; with the project's description
// and keywords. It edits copies of the project's configurations and writes them back on Next
// or OK. The new project wizard shows it as a page, with Back and Next.
class ControllerDialog : public CirraneDialog
{
    Q_OBJECT

public:
    enum Result { CancelResult = 1, OkResult = 2, NextResult = 3, BackResult = 4 };
    // Its page in the help.
    int helpContextId() const override { return 23; }

    ControllerDialog(ConfiguredProject *project,
                     BuildConfigList *catalogue,
                     MainServices *mainWindow,
                     QWidget *parent);
    ~ControllerDialog() override;

    // As a page of the wizard: Back shown, and Next unless OK finishes the wizard.
    void setWizardPage(bool wizard, bool nextShown = true);
    // OK saves a project without a file in place, beside its design file, rather than as a
    // copy in a folder of its own.
    void setSaveInPlace(bool inPlace) { m_saveInPlace = inPlace; }
    // The project's configurations again, as the wizard changed them.
    void reload() { load(true); }
    int resultCode() const { return m_resultCode; }

    // What the clock field shows for a clock: "20000000" as "20MHz", "32768" as "32768Hz".
    static QString clockDisplay(const QString &clock);

public slots:
    void checkDialogIsComplete();
    void backButtonClicked(bool checked = false);
    void nextButtonClicked(bool checked = false);
    void okButtonClicked(bool checked = false);
    void cancelButtonClicked(bool checked = false);
    void compilersButtonClicked(bool checked = false);
    void simulatorOnlyChanged(int state);
    void controllerFamilyIndexChanged(const QString &text);
    void controllerIndexChanged(const QString &text);
    void compilerIndexChanged(const QString &text);
    void clockChanged(const QString &text);
    void addKeywordBtnClicked(bool checked = false);
    void removeKeywordBtnClicked(bool checked = false);
    void descriptionChanged(const QString &text);

private:
    struct Choice
    {
        QString controller;
        QString compiler;
        bool installed = false;
        bool simulated = false;
    };
    struct FamilyChoices
    {
        QString name;
        QList<Choice> choices;
    };

    void load(bool copyConfigurations);
    void buildChoices();
    void fillFamilies();
    void selectFamily(const QString &family);
    void selectController(const QString &controller);
    void selectCompiler(const QString &compiler);
    const FamilyChoices *familyChoices(const QString &family) const;
    BuildProject *current() const;
    void storeCurrent();
    bool writeBack();
    bool simulatorOnly() const;

    std::unique_ptr<Ui::ControllerDialog> m_form;
    ConfiguredProject *m_project;
    BuildConfigList *m_catalogue;
    MainServices &m_mainWindow;
    std::vector<std::unique_ptr<BuildProject>> m_copies;
    QString m_requestedFamily;
    QString m_requestedController;
    QString m_requestedCompiler;
    QString m_currentFamily;
    QString m_currentController;
    QString m_currentCompiler;
    QList<FamilyChoices> m_table;
    QStringList m_families;
    QStringList m_controllers;
    QStringList m_compilers;
    bool m_updating = false;
    int m_resultCode = CancelResult;
    bool m_saveInPlace = false;
};
