#pragma once

#include <QDialog>
#include <QPointer>

class QComboBox;

// The base of the program's dialogs. The main window watches every dialog's events, so that
// F1 in a dialog opens the help at the dialog's own topic.
class CirraneDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CirraneDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // The dialog's help topic; 0 is the main page.
    virtual int helpContextId() const { return 0; }

    // Watches an editable combo box so that its line edit offers its own context menu.
    void watchComboBox(QComboBox *combo);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    QWidget *m_parent;

private:
    QPointer<QComboBox> m_watchedCombo;
};
