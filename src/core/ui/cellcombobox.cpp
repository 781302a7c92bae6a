#include "cellcombobox.h"

#include <QWheelEvent>

CellComboBox::CellComboBox(QWidget *parent)
    : QComboBox(parent)
{
    // A wheel focus would give the choice the focus at the first turn of the wheel.
    setFocusPolicy(Qt::StrongFocus);
}

void CellComboBox::wheelEvent(QWheelEvent *event)
{
    if (!hasFocus()) {
        // Ignored, the event goes on to the table's view, which scrolls.
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
