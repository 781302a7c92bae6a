#pragma once

#include "editor/findstate.h"

#include "core/ui/cirranedialog.h"

#include <memory>

class MainServices;
class QAction;
class QComboBox;
class SourceEditor;
class SrcTabsHolder;

namespace Ui {
class FindDialog;
}

// Find and replace in the current document, all open documents or every file of the current
// project. Project files are opened as the search reaches them and closed again when they
// hold no match; the search knows it has come round when it meets its first match again.
class FindDialog : public CirraneDialog
{
    Q_OBJECT

public:
    FindDialog(SrcTabsHolder *tabs, MainServices *mainWindow, QWidget *parent);
    ~FindDialog() override;

    int helpContextId() const override { return 6; }

    void setReplaceMode(bool replace);
    // Puts a text into the find box, as the window does with an editor's selection.
    void setFindText(const QString &text);
    QString findText() const;
    // The search starts afresh from the cursor at its next step.
    void restartFromCursor();

public slots:
    void restartFind();
    void findNextClicked();
    void replaceClicked(bool checked = false);
    void replaceAllClicked(bool checked = false);
    void cancelClicked(bool checked = false);
    void replaceStateChanged(int state);
    void updateStrings(QComboBox *combo);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool findNextMatch(FindState::Mode mode);
    // The next document to search, opened; false when none is left.
    bool takeNextFile(QString &taken);
    // Reads the match options from the dialog's boxes.
    void takeOptions();
    void restartSearch();
    void setControlsEnabled(bool enabled);
    void reachedStart();

    std::unique_ptr<Ui::FindDialog> m_form;
    SrcTabsHolder *m_tabs;
    MainServices &m_mainWindow;
    QAction *m_findNextAction;
    bool m_replaceMode = false;
    FindState m_state;
};
