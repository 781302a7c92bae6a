#pragma once

// What tests of the main window share beside the project edits: demonstration boards copied to
// a folder of their own, the output window's text, projects opened as the user does.

#include "common/projectedits.h"

#include "app/srcmanager.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "core/settingsstore.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "project/ui/projecttreewidget.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace WindowFlows {

// Settings as on a fresh start, with make beside the program.
inline void freshSettings()
{
    SettingsStore store;
    store.settings().remove(QString());
    store.setDirectory(SettingsStore::Tools, QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath());
    store.sync();
}

// A copy of a demonstration board of the build tree in target; the path of its project file.
inline QString copyBoard(const QString &board, const QString &target)
{
    copyTree(QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath()
                 + QStringLiteral("/../devboards/") + board,
             target);
    return target + QLatin1Char('/') + board + QStringLiteral(".dyxp");
}

inline QString output(SrcManager &window)
{
    QCoreApplication::processEvents(); // lines reach the view in batches
    return window.outWindow()->textView()->toPlainText();
}

inline Project *openProject(SrcManager &window, const QString &path)
{
    window.projectsManager()->scanCompilers();
    // The session may have reopened it already: opening it again only says so.
    if (window.projectsManager()->indexOfProject(path) < 0
        && !window.projectsManager()->openProject(path, false))
        return nullptr;
    return window.projectsManager()->currentProject();
}

// Runs use on the modal dialog the window shows next, from within the dialog's own event loop,
// and closes the dialog after it unless use did (a failed check returns early).
template<typename Use>
void onNextDialog(QObject *context, Use use)
{
    QTimer::singleShot(0, context, [use] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        use(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

// Save Project As through its dialog: the copy named name, in the folder place, chosen with
// Browse (the answer to the folder question goes to prompts, the test's ScriptedPrompts).
template<typename Prompts>
void saveProjectAs(SrcManager &window, Prompts &prompts, const QString &place, const QString &name)
{
    onNextDialog(&window, [&](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("projectNameEdit"))->setText(name);
        prompts.fileNames << place;
        dialog->findChild<QPushButton *>(QStringLiteral("browseButton"))->click();
        dialog->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
    });
    window.actions().saveProjectAs->trigger();
}

// Renames a project file in the tree's item editor, as the user types the new name.
inline bool renameInTree(SrcManager &window, const QString &path, const QString &newName)
{
    const Project *project = window.projectsManager()->currentProject();
    QTreeWidget *tree = window.projectsManager()->tree();
    for (int i = 0; project && i < project->fileCount(); ++i) {
        if (project->filePathAt(i) == path)
            tree->editItem(project->fileAt(i)->item, 0);
    }
    auto *edit = tree->viewport()->findChild<QLineEdit *>();
    if (!edit)
        return false;
    edit->setText(newName);
    QTest::keyClick(edit, Qt::Key_Return);
    QCoreApplication::processEvents(); // the item editor hands its text over queued
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // and goes
    return true;
}

// Selects a project file's item in the tree with a click, as the user does.
inline void clickInTree(SrcManager &window, const QString &path)
{
    const Project *project = window.projectsManager()->currentProject();
    QTreeWidget *tree = window.projectsManager()->tree();
    for (int i = 0; project && i < project->fileCount(); ++i) {
        if (project->filePathAt(i) == path) {
            tree->scrollToItem(project->fileAt(i)->item);
            QTest::mouseClick(tree->viewport(),
                              Qt::LeftButton,
                              {},
                              tree->visualItemRect(project->fileAt(i)->item).center());
        }
    }
}

} // namespace WindowFlows
