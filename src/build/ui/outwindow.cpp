#include "outwindow.h"

#include "outtextedit.h"

#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/ui/storeddisplayformats.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cstdio>

static bool echoLines = false;

static const char outputGroup[] = "Output Window";

OutWindow::OutWindow(MainServices *mainWindow, QWidget *parent)
    : QDockWidget(parent)
    , m_mainWindow(servicesOf(mainWindow))
    , m_text(new OutTextEdit(this))
{
    setObjectName(QStringLiteral("Output Window"));
    setWindowTitle(tr("Output"));
    setWidget(m_text);
    applySettings();
}

void OutWindow::setEchoToConsole(bool echo)
{
    echoLines = echo;
}

static void echo(FILE *stream, const QString &text)
{
    if (!echoLines)
        return;
    QString line = text;
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

void OutWindow::clear()
{
    m_currentLink = -1;
    emit cleared();
    if (!m_text)
        return;
    m_text->clear();
    showNow();
}

void OutWindow::markSource(const QString &file,
                           int line,
                           MessageSeverity severity,
                           const QString &text)
{
    emit sourceMarked(file, line, severity, text);
}

bool OutWindow::gotoLink(bool forward)
{
    if (!m_text)
        return false;
    // Before the first link, backwards starts from the end.
    const int from = m_currentLink >= 0 ? m_currentLink : (forward ? -1 : 0);
    const int line = m_text->linkLineFrom(from, forward);
    if (line < 0)
        return false;
    m_currentLink = line;
    m_text->selectLine(line);
    const OutTextEdit::Target target = OutTextEdit::parseLink(m_text->lineLink(line));
    if (!target.file.isEmpty())
        openLinkTarget(target.file, target.line, target.column);
    return true;
}

void OutWindow::message(const QString &text)
{
    echo(stdout, text);
    if (!m_text)
        return;
    m_text->appendLine(OutTextEdit::Message, text);
    showNow();
}

void OutWindow::error(const QString &text)
{
    echo(stderr, text);
    if (!m_text)
        return;
    m_text->appendLine(OutTextEdit::Error, text);
    showNow();
}

void OutWindow::success(const QString &text)
{
    echo(stdout, text);
    if (!m_text)
        return;
    m_text->appendLine(OutTextEdit::Success, text);
    showNow();
}

static QString consoleLink(const QString &file, int line, int column, const QString &text)
{
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(text);
}

void OutWindow::link(const QString &file, int line, int column, const QString &text)
{
    if (echoLines)
        echo(stdout, consoleLink(file, line, column, text));
    // The text of a plain link is marked-up text; one without markup needs no reading.
    const bool plain = !text.contains(QLatin1Char('<')) && !text.contains(QLatin1Char('&'));
    appendLink(false, file, line, column, text, plain);
}

void OutWindow::errorLink(const QString &file, int line, int column, const QString &text)
{
    if (echoLines)
        echo(stderr, consoleLink(file, line, column, text));
    appendLink(true, file, line, column, text, true);
}

namespace {

// One line of marked-up text: its characters and the formats the markup gives them.
struct MarkedLine
{
    QString text;
    QList<QTextLayout::FormatRange> markup;
};

// Reads marked-up text into lines: each paragraph and each line break starts one.
QList<MarkedLine> readMarkup(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    QList<MarkedLine> lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        MarkedLine current;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QStringList pieces = fragment.text().split(QChar::LineSeparator);
            for (int i = 0; i < pieces.size(); ++i) {
                if (i > 0) {
                    lines.append(current);
                    current = MarkedLine();
                }
                if (pieces[i].isEmpty())
                    continue;
                current.markup.append(
                    {int(current.text.size()), int(pieces[i].size()), fragment.charFormat()});
                current.text += pieces[i];
            }
        }
        lines.append(current);
    }
    return lines;
}

} // namespace

void OutWindow::richText(const QString &html)
{
    if (echoLines)
        echo(stdout, QTextDocumentFragment::fromHtml(html).toPlainText());
    if (!m_text)
        return;
    for (const MarkedLine &line : readMarkup(html))
        m_text->appendLine(OutTextEdit::Message, line.text, QString(), line.markup);
    showNow();
}

void OutWindow::appendLink(
    bool isError, const QString &file, int line, int column, const QString &text, bool plainText)
{
    if (!m_text)
        return;
    const OutTextEdit::Kind kind = isError ? OutTextEdit::ErrorLink : OutTextEdit::Link;
    const QString href = file + QLatin1Char('#') + QString::number(line) + QLatin1Char('.')
                         + QString::number(column);
    if (plainText) {
        m_text->appendLine(kind, text, href);
    } else {
        for (const MarkedLine &marked : readMarkup(text))
            m_text->appendLine(kind, marked.text, href, marked.markup);
    }
    showNow();
}

// Lines must appear while a long operation runs on the window's thread; repainting for every
// line of a fast compiler would cost more than the compiler, so the window catches up at most
// every few milliseconds.
void OutWindow::showNow()
{
    // Events handled here can write lines too (the next output of a running build): those
    // wait for the events of the outer round rather than nesting rounds in one another.
    if (m_showing || (m_sinceShown.isValid() && m_sinceShown.elapsed() < 10))
        return;
    m_showing = true;
    // A line is written in the middle of a command: a click, a key or a message from another
    // program (a later start, the simulator, a tool's next output) handled here could close the
    // project the command works on. They wait for the round that the window's loop, or a
    // build's, makes.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents
                                    | QEventLoop::ExcludeSocketNotifiers);
    m_showing = false;
    m_sinceShown.start();
}

OutTextEdit *OutWindow::textView()
{
    return m_text;
}

QString OutWindow::plainText()
{
    return m_text ? m_text->toPlainText() : QString();
}

void OutWindow::openLinkTarget(const QString &file, int line, int column)
{
    m_mainWindow.editors().openMessageAt(file, line, column);
}

void OutWindow::applySettings()
{
    const QString group = QLatin1String(outputGroup);
    const StoredDisplayFormats formats(m_mainWindow.files().settingsStore());
    m_messageFormat = formats.displayFormat(group, QStringLiteral("Messages"));
    m_errorFormat = formats.displayFormat(group, QStringLiteral("Errors"));
    m_linkFormat = formats.displayFormat(group, QStringLiteral("Links"));
    m_successFormat = formats.displayFormat(group, QStringLiteral("Success"));
    if (!m_text)
        return;
    // A link takes only the colour, the underline, the slant and the weight of "Links".
    const QFont linkFont = m_linkFormat.font();
    const auto asLink = [&](QTextCharFormat format) {
        format.setForeground(m_linkFormat.foreground());
        format.setFontUnderline(m_linkFormat.fontUnderline());
        if (linkFont.style() != QFont::StyleNormal)
            format.setFontItalic(true);
        if (linkFont.weight() > QFont::Normal)
            format.setFontWeight(QFont::Bold);
        return format;
    };
    m_text->setFont(m_messageFormat.font());
    m_text->setFormats({m_messageFormat,
                        m_errorFormat,
                        m_successFormat,
                        asLink(m_messageFormat),
                        asLink(m_errorFormat)});
}
