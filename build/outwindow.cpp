#include "outwindow.h"

#include "outtextedit.h"

#include "app/mainservices.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cstdio>
#include <functional>

static bool echoLines = false;

static const char outputGroup[] = "Output Window";

OutWindow::OutWindow(MainServices *mainWindow, QWidget *parent)
    : QDockWidget(parent)
    , m_mainWindow(mainWindow)
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

bool OutWindow::echoesToConsole()
{
    return echoLines;
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
    if (!m_text)
        return;
    m_text->clear();
    m_text->setCurrentCharFormat(m_messageFormat);
    showNow();
}

void OutWindow::message(const QString &text)
{
    echo(stdout, text);
    appendText(m_messageFormat, text);
}

void OutWindow::error(const QString &text)
{
    echo(stderr, text);
    appendText(m_errorFormat, text);
}

void OutWindow::success(const QString &text)
{
    echo(stdout, text);
    appendText(m_successFormat, text);
}

static void appendParagraph(OutTextEdit *view, const std::function<void(QTextCursor &)> &fill);

static QString consoleLink(const QString &file, int line, int column, const QString &text)
{
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(text);
}

void OutWindow::link(const QString &file, int line, int column, const QString &text)
{
    echo(stdout, consoleLink(file, line, column, text));
    appendLink(m_messageFormat, file, line, column, text);
}

void OutWindow::errorLink(const QString &file, int line, int column, const QString &text)
{
    echo(stdout, consoleLink(file, line, column, text));
    QString escaped = text;
    escaped.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    escaped.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    appendLink(m_errorFormat, file, line, column, escaped);
}

void OutWindow::richText(const QString &html)
{
    if (echoLines)
        echo(stdout, QTextDocumentFragment::fromHtml(html).toPlainText());
    if (!m_text)
        return;
    m_text->setCurrentCharFormat(m_messageFormat);
    appendParagraph(m_text, [&](QTextCursor &cursor) {
        cursor.setCharFormat(m_messageFormat);
        cursor.insertHtml(html);
    });
    showNow();
}

// Appends a paragraph at the end and keeps the view at the bottom when it was there.
static void appendParagraph(OutTextEdit *view, const std::function<void(QTextCursor &)> &fill)
{
    QScrollBar *bar = view->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum() - 2;
    QTextDocument *document = view->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    const bool empty = document->isEmpty() && document->blockCount() == 1;
    cursor.beginEditBlock();
    if (!empty)
        cursor.insertBlock();
    fill(cursor);
    cursor.endEditBlock();
    if (atBottom)
        bar->setValue(bar->maximum());
}

void OutWindow::appendText(const QTextCharFormat &format, const QString &text)
{
    if (!m_text)
        return;
    m_text->setCurrentCharFormat(format);
    appendParagraph(m_text, [&](QTextCursor &cursor) {
        QTextBlockFormat blockFormat;
        cursor.setBlockFormat(blockFormat);
        cursor.setBlockCharFormat(format);
        cursor.insertText(text, format);
    });
    showNow();
}

void OutWindow::appendLink(const QTextCharFormat &format,
                           const QString &file,
                           int line,
                           int column,
                           const QString &text)
{
    if (!m_text)
        return;
    m_text->setCurrentCharFormat(format);
    const QString html = QStringLiteral("%5<a href=\"%1#%2.%3\">%4</a>%6")
                             .arg(file.toHtmlEscaped())
                             .arg(line)
                             .arg(column)
                             .arg(text, m_linkPrefix, m_linkSuffix);
    appendParagraph(m_text, [&](QTextCursor &cursor) {
        cursor.setBlockCharFormat(format);
        cursor.setCharFormat(format);
        cursor.insertHtml(html);
    });
    showNow();
}

// Lines must appear while a long operation runs on the window's thread; repainting for every
// line of a fast compiler would cost more than the compiler, so the window catches up at most
// every few milliseconds.
void OutWindow::showNow()
{
    if (m_sinceShown.isValid() && m_sinceShown.elapsed() < 10)
        return;
    QCoreApplication::processEvents();
    m_sinceShown.start();
}

QString OutWindow::plainText() const
{
    return m_text ? m_text->toPlainText() : QString();
}

void OutWindow::openLinkTarget(const QString &file, int line, int column)
{
    if (m_mainWindow)
        m_mainWindow->openFileAt(file, line, column);
}

void OutWindow::applySettings()
{
    if (!m_mainWindow)
        return;
    const QString group = QLatin1String(outputGroup);
    m_messageFormat = m_mainWindow->displayFormat(group, QStringLiteral("Messages"));
    m_errorFormat = m_mainWindow->displayFormat(group, QStringLiteral("Errors"));
    m_linkFormat = m_mainWindow->displayFormat(group, QStringLiteral("Links"));
    m_successFormat = m_mainWindow->displayFormat(group, QStringLiteral("Success"));

    m_linkPrefix.clear();
    m_linkSuffix.clear();
    const QFont linkFont = m_linkFormat.font();
    if (linkFont.style() != QFont::StyleNormal) {
        m_linkPrefix += QLatin1String("<i>");
        m_linkSuffix.prepend(QLatin1String("</i>"));
    }
    if (linkFont.weight() > QFont::Normal) {
        m_linkPrefix += QLatin1String("<b>");
        m_linkSuffix.prepend(QLatin1String("</b>"));
    }
    if (!m_text)
        return;
    const QString colour = m_linkFormat.foreground().color().name();
    const QString style = m_linkFormat.fontUnderline()
                              ? QStringLiteral("a { text-decoration: underline; color: %1 }")
                              : QStringLiteral("a { text-decoration: none; color: %1 }");
    m_text->document()->setDefaultStyleSheet(style.arg(colour));
    updateExistingLinks();
    m_text->setCurrentCharFormat(m_messageFormat);
}

// The style sheet reaches only links added from now on; restyle those already shown.
void OutWindow::updateExistingLinks()
{
    QTextDocument *document = m_text->document();
    QTextCharFormat linkStyle;
    linkStyle.setForeground(m_linkFormat.foreground());
    linkStyle.setFontUnderline(m_linkFormat.fontUnderline());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isAnchor())
                continue;
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(linkStyle);
        }
    }
}
