#include "busycursor.h"

#include <QApplication>
#include <QCursor>

BusyCursor::BusyCursor(bool wait)
{
    QApplication::setOverrideCursor(QCursor(wait ? Qt::WaitCursor : Qt::BusyCursor));
}

BusyCursor::~BusyCursor()
{
    restore();
}

void BusyCursor::restore()
{
    if (m_restored)
        return;
    m_restored = true;
    QApplication::restoreOverrideCursor();
}
