#pragma once

#include "core/ui/cirranedialog.h"

#include <memory>

class QIntValidator;
class SrcTabsHolder;

namespace Ui {
class GotoLineClass;
}

// Moves the cursor of the current editor to a line, to its first character that is not white
// space. Modeless; the number typed last time stays for the next opening.
class GotoLineDialog : public CirraneDialog
{
    Q_OBJECT

public:
    GotoLineDialog(SrcTabsHolder *tabs, QWidget *parent);
    ~GotoLineDialog() override;

    int helpContextId() const override { return 13; }

    // Offers the lines of the current editor and shows the dialog; nothing without a line.
    void showForCurrentEditor();

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::GotoLineClass> m_form;
    SrcTabsHolder *m_tabs;
    QIntValidator *m_validator;
};
