#pragma once

#include "toolchain/compilerscan.h"

#include "core/ui/cirranedialog.h"

#include <memory>

class BuildConfigList;
class MainServices;

namespace Ui {
class CompilersDialog;
}

// "Compilers": every compiler of the catalogue, whether it is installed and where; detection
// of one or all, a directory given by hand, and the compiler's web site. OK stores the outcome.
class CompilersDialog : public CirraneDialog
{
    Q_OBJECT

public:
    CompilersDialog(BuildConfigList *catalogue, MainServices *mainWindow, QWidget *parent);
    // Its page in the help.
    int helpContextId() const override { return 20; }
    ~CompilersDialog() override;

    const CompilerScan &scan() const { return m_scan; }

public slots:
    void saveButtonClicked(bool checked = false);
    void checkAllButtonClicked(bool checked = false);
    void checkButtonClicked(bool checked = false);
    void manualButtonClicked(bool checked = false);
    void cancelButtonClicked(bool checked = false);
    void openHyperlink(int row, int column);
    void openHyperlink(bool checked = false);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void fillTable();
    void showRow(int row);
    void checkRows(int first, int last);
    void fitColumns();

    std::unique_ptr<Ui::CompilersDialog> m_form;
    BuildConfigList *m_catalogue;
    MainServices &m_mainWindow;
    CompilerScan m_scan;
};
