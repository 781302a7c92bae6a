#include "cirranedialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLineEdit>

CirraneDialog::CirraneDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_parent(parent)
{
    if (m_parent)
        installEventFilter(m_parent);
}

void CirraneDialog::watchComboBox(QComboBox *combo)
{
    if (m_watchedCombo)
        m_watchedCombo->removeEventFilter(this);
    m_watchedCombo = combo;
    if (combo)
        combo->installEventFilter(this);
}

bool CirraneDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (m_watchedCombo && watched == m_watchedCombo && event->type() == QEvent::ContextMenu) {
        QLineEdit *edit = m_watchedCombo->lineEdit();
        if (!edit)
            return QDialog::eventFilter(watched, event);
        // The combo box would swallow the event; let its line edit show the standard menu.
        const Qt::ContextMenuPolicy earlier = edit->contextMenuPolicy();
        edit->setContextMenuPolicy(Qt::DefaultContextMenu);
        QCoreApplication::sendEvent(edit, event);
        QCoreApplication::processEvents();
        edit->setContextMenuPolicy(earlier);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
