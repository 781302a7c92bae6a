#pragma once

#include "core/ui/displaysettings.h"

#include "core/settingsstore.h"
#include "core/ui/cirranedialog.h"

#include <memory>
#include <optional>

class MainServices;
class QComboBox;
class QLineEdit;

namespace Ui {
class ProgramSettingsDialog;
}

// "Editor Settings": the program's directories, the fonts and colours of the text editor, the
// projects tree and the output window, and the editor's behaviours. Nothing is stored until
// the user confirms.
class ProgramSettingsDialog : public CirraneDialog
{
    Q_OBJECT

public:
    ProgramSettingsDialog(MainServices *mainWindow, QWidget *parent);
    ~ProgramSettingsDialog() override;

    // One topic for each tab.
    int helpContextId() const override;

    // The groups as edited so far.
    const QList<DisplayGroup> &groups() const { return m_groups; }

public slots:
    void accept() override;
    void compilersButtonClicked(bool checked = false);
    void compilersDefaultButtonClicked(bool checked = false);
    void simulatorButtonClicked(bool checked = false);
    void simulatorDefaultButtonClicked(bool checked = false);
    void syntaxButtonClicked(bool checked = false);
    void syntaxDefaultButtonClicked(bool checked = false);
    void toolsButtonClicked(bool checked = false);
    void toolsDefaultButtonClicked(bool checked = false);
    void devBoardsButtonClicked(bool checked = false);
    void devBoardsDefaultButtonClicked(bool checked = false);
    void cirraneButtonClicked(bool checked = false);
    void cirraneDefaultButtonClicked(bool checked = false);
    void projectsButtonClicked(bool checked = false);
    void projectsDefaultButtonClicked(bool checked = false);
    void textSettingsIndexChanged(const QString &text);
    void textSettingsDefaultsButtonClicked(bool checked = false);
    void displayItemsTextChanged(const QString &text);
    void foregroundColourIndexChanged(const QString &text);
    void backgroundColourIndexChanged(const QString &text);
    void fontNameCurrentFontChanged(const QFont &font);
    void fontSizeIndexChanged(const QString &text);
    void boldCheckBoxStateChanged(int state);
    void italicCheckBoxStateChanged(int state);
    void underlineCheckBoxStateChanged(int state);
    void defaultCheckBoxStateChanged(int state);

private:
    // One directory of the first tab: its field, the caption of its browse dialog, and the
    // setting it stands for (none: the simulator installation's, found rather than stored).
    struct DirectoryRow
    {
        QLineEdit *edit;
        const char *caption;
        std::optional<SettingsStore::Directory> setting;
    };
    enum Row {
        CompilersRow,
        SimulatorRow,
        SyntaxRow,
        ToolsRow,
        DevBoardsRow,
        CirraneRow,
        ProjectsRow
    };
    QList<DirectoryRow> directoryRows() const;
    // Each editor preference with the control that shows it: a check box (or the "use tabs"
    // radio button), a spin box or a combo box (the stored number is its index).
    struct PreferenceRow
    {
        const char *key;
        QWidget *control;
    };
    QList<PreferenceRow> preferenceRows() const;
    void browse(Row row);
    void setDefault(Row row);
    void fillColourList(QComboBox *combo);
    void loadPreferences();
    void storePreferences();
    void showItem();
    void showColour(QComboBox *combo, const QColor &colour);
    void pickCustomColour(bool foreground);
    void updateSample();
    DisplayGroup *currentGroup();
    DisplayItem *currentItem();

    std::unique_ptr<Ui::ProgramSettingsDialog> m_form;
    MainServices &m_mainWindow;
    SettingsStore &m_settings;
    QList<DisplayGroup> m_groups;
    bool m_updating = false;
};
