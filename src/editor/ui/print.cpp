#include "print.h"

#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include <QPrintDialog>

Print::Print(QWidget *mainWindow)
    : QObject(mainWindow)
    , m_mainWindow(mainWindow)
{}

Print::~Print() = default;

QsciPrinter &Print::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QsciPrinter>(QPrinter::ScreenResolution);
    return *m_printer;
}

bool Print::print(QsciScintilla *editor)
{
    if (!editor)
        return false;
    QsciPrinter &target = printer();
    if (!m_dialog)
        m_dialog = new QPrintDialog(&target, m_mainWindow);
    m_dialog->setWindowTitle(tr("Print Document"));
    // Once offered, printing the selection stays on offer.
    if (editor->hasSelectedText())
        m_dialog->setOption(QAbstractPrintDialog::PrintSelection, true);
    if (m_dialog->exec() != QDialog::Accepted)
        return false;
    target.setFullPage(false);
    return printRange(target, editor, m_dialog->printRange() == QAbstractPrintDialog::Selection);
}

bool Print::printRange(QsciPrinter &printer, QsciScintilla *editor, bool selectionOnly)
{
    int fromLine = -1;
    int toLine = -1;
    if (selectionOnly) {
        int fromIndex = 0;
        int toIndex = 0;
        editor->getSelection(&fromLine, &fromIndex, &toLine, &toIndex);
    }
    return printer.printRange(editor, fromLine, toLine) > 0;
}
