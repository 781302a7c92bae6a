#pragma once

#include <QObject>

#include <memory>

class QPrintDialog;
class QsciPrinter;
class QsciScintilla;
class QWidget;

// Prints the current editor's document, or the lines of its selection, through the print
// dialog. The printer and its dialog are made on first use and kept, with the user's choices.
class Print : public QObject
{
    Q_OBJECT

public:
    explicit Print(QWidget *mainWindow);
    ~Print() override;

    // Asks with the print dialog, then prints; false when cancelled or when nothing was printed.
    bool print(QsciScintilla *editor);
    // The printer, made on first use.
    QsciPrinter &printer();

    // Prints without asking: the selection's whole lines, or all of the document.
    static bool printRange(QsciPrinter &printer, QsciScintilla *editor, bool selectionOnly);

private:
    QWidget *m_mainWindow;
    std::unique_ptr<QsciPrinter> m_printer;
    QPrintDialog *m_dialog = nullptr;
};
