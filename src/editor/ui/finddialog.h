#pragma once

#include "editor/findsession.h"

#include "core/ui/cirranedialog.h"

#include <memory>

class MainServices;
class QAction;
class QComboBox;
class SrcTabsHolder;

namespace Ui {
class FindDialog;
}

// Find and replace in the current document, all open documents or every file of the current
// project: the boxes and buttons of a FindSession over the editor tabs.
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
    // The texts and options as the dialog's boxes hold them.
    FindSession::Options options() const;
    void setControlsEnabled(bool enabled);
    void reachedStart();

    std::unique_ptr<Ui::FindDialog> m_form;
    QAction *m_findNextAction;
    bool m_replaceMode = false;
    FindSession m_session;
};
