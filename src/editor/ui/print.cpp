#include "print.h"

#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include "core/ui/prompts.h"

#include <QPrintDialog>

#include <utility>

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

namespace {

// A copy of an editor's document up to the end of one line, styled, coloured and with margins
// as the editor shows them, for the printer.
void copyUpTo(QsciScintillaBase &copy, QsciScintilla *editor, int lastLine)
{
    using B = QsciScintillaBase;
    const long end = editor->SendScintilla(B::SCI_GETLINEENDPOSITION, lastLine);
    editor->SendScintilla(B::SCI_COLOURISE, 0UL, end);
    // Each character's byte followed by its style's.
    QByteArray cells(2 * end + 2, '\0');
    editor->SendScintilla(B::SCI_GETSTYLEDTEXT, 0L, end, cells.data());
    copy.SendScintilla(B::SCI_SETCODEPAGE, editor->SendScintilla(B::SCI_GETCODEPAGE));
    copy.SendScintilla(B::SCI_SETTABWIDTH, editor->SendScintilla(B::SCI_GETTABWIDTH));
    for (int style = 0; style < 256; ++style) {
        const auto get = [&](unsigned int message) {
            return editor->SendScintilla(message, static_cast<unsigned long>(style));
        };
        const auto set = [&](unsigned int message, long value) {
            copy.SendScintilla(message, static_cast<unsigned long>(style), value);
        };
        set(B::SCI_STYLESETFORE, get(B::SCI_STYLEGETFORE));
        set(B::SCI_STYLESETBACK, get(B::SCI_STYLEGETBACK));
        set(B::SCI_STYLESETSIZEFRACTIONAL, get(B::SCI_STYLEGETSIZEFRACTIONAL));
        set(B::SCI_STYLESETWEIGHT, get(B::SCI_STYLEGETWEIGHT));
        set(B::SCI_STYLESETITALIC, get(B::SCI_STYLEGETITALIC));
        set(B::SCI_STYLESETUNDERLINE, get(B::SCI_STYLEGETUNDERLINE));
        set(B::SCI_STYLESETEOLFILLED, get(B::SCI_STYLEGETEOLFILLED));
        set(B::SCI_STYLESETCHARACTERSET, get(B::SCI_STYLEGETCHARACTERSET));
        set(B::SCI_STYLESETCASE, get(B::SCI_STYLEGETCASE));
        set(B::SCI_STYLESETVISIBLE, get(B::SCI_STYLEGETVISIBLE));
        QByteArray font(editor->SendScintilla(B::SCI_STYLEGETFONT,
                                              static_cast<unsigned long>(style),
                                              static_cast<void *>(nullptr))
                            + 1,
                        '\0');
        editor->SendScintilla(B::SCI_STYLEGETFONT, static_cast<unsigned long>(style), font.data());
        copy.SendScintilla(B::SCI_STYLESETFONT, static_cast<unsigned long>(style), font.constData());
    }
    const long margins = editor->SendScintilla(B::SCI_GETMARGINS);
    copy.SendScintilla(B::SCI_SETMARGINS, margins);
    for (unsigned long margin = 0; margin < static_cast<unsigned long>(margins); ++margin) {
        for (const auto &[get, set] : {std::pair{B::SCI_GETMARGINTYPEN, B::SCI_SETMARGINTYPEN},
                                       std::pair{B::SCI_GETMARGINWIDTHN, B::SCI_SETMARGINWIDTHN},
                                       std::pair{B::SCI_GETMARGINMASKN, B::SCI_SETMARGINMASKN}})
            copy.SendScintilla(set, margin, editor->SendScintilla(get, margin));
    }
    copy.SendScintilla(B::SCI_SETMARGINLEFT, 0UL, editor->SendScintilla(B::SCI_GETMARGINLEFT));
    copy.SendScintilla(B::SCI_SETMARGINRIGHT, 0UL, editor->SendScintilla(B::SCI_GETMARGINRIGHT));
    // The copy has no lexer of its own: the styles stay as copied.
    copy.SendScintilla(B::SCI_ADDSTYLEDTEXT, static_cast<unsigned long>(2 * end), cells.constData());
}

} // namespace

bool Print::printRange(QsciPrinter &printer, QsciScintilla *editor, bool selectionOnly)
{
    int fromLine = -1;
    int fromIndex = 0;
    int toLine = -1;
    int toIndex = 0;
    if (selectionOnly)
        editor->getSelection(&fromLine, &fromIndex, &toLine, &toIndex);
    // No selection: the whole document.
    if (fromLine < 0)
        return printer.printRange(editor) > 0;
    // Whole lines selected downwards end at the start of the next line, which holds nothing of
    // the selection.
    if (toIndex == 0 && toLine > fromLine)
        --toLine;
    // The printer prints the line after a range too, unless the range ends the document: the
    // selection's lines are printed from a copy that ends with them.
    QsciScintillaBase copy;
    copyUpTo(copy, editor, toLine);
    return printer.printRange(&copy, fromLine, -1) > 0;
}
