#include "print.h"

#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include "core/ui/prompts.h"

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
    // The editor's printing goes on whether or not the printer could start: the printer's
    // state tells.
    if (printRange(target, editor, m_dialog->printRange() == QAbstractPrintDialog::Selection)
        && target.printerState() != QPrinter::Error)
        return true;
    // A printer that is gone, or a file that cannot be written.
    const QString where = target.outputFileName().isEmpty() ? target.printerName()
                                                            : target.outputFileName();
    Prompts::instance().message(QMessageBox::Warning,
                                m_mainWindow,
                                tr("Print Document"),
                                tr("The document could not be printed."),
                                QMessageBox::Ok,
                                QMessageBox::Ok,
                                where.isEmpty() ? QString() : tr("Printing to: %1").arg(where));
    return false;
}

bool Print::printRange(QsciPrinter &printer, QsciScintilla *editor, bool selectionOnly)
{
    int fromLine = -1;
    int toLine = -1;
    if (selectionOnly) {
        int fromIndex = 0;
        int toIndex = 0;
        editor->getSelection(&fromLine, &fromIndex, &toLine, &toIndex);
        // Whole lines selected downwards end at the start of the next line, which holds
        // nothing of the selection.
        if (toIndex == 0 && toLine > fromLine)
            --toLine;
        // The printer prints one line past the last it is given (a selection of one line still
        // prints the line after it).
        if (toLine > fromLine)
            --toLine;
    }
    return printer.printRange(editor, fromLine, toLine) > 0;
}
