#pragma once

#include "core/ui/cirranedialog.h"

#include <memory>

class MainServices;

namespace Ui {
class CopyProjectFilesDialog;
}

// "Save Project": the name of a project and the folder it goes to, a folder of its own under
// the one chosen unless the project is stored in place.
class CopyProjectFilesDialog : public CirraneDialog
{
    Q_OBJECT

public:
    enum Result { CancelResult = 1, OkResult = 2 };
    // Its page in the help.
    int helpContextId() const override { return 25; }

    CopyProjectFilesDialog(MainServices *mainWindow,
                           const QString &proposedName,
                           const QString &referencePath,
                           bool storeInPlace,
                           QWidget *parent);
    ~CopyProjectFilesDialog() override;

    // The project file chosen; empty until OK.
    QString projectPath() const { return m_projectPath; }
    bool keepStructure() const;
    int resultCode() const { return m_resultCode; }

public slots:
    void okButtonClicked(bool checked = false);
    void cancelButtonClicked(bool checked = false);
    void selectRootFolder(bool checked = false);
    void projectNameChanged(const QString &text);

private:
    std::unique_ptr<Ui::CopyProjectFilesDialog> m_form;
    bool m_storeInPlace;
    QString m_projectPath;
    int m_resultCode = CancelResult;
};
