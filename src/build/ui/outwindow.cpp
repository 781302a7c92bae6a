#include "outwindow.h"

#include "outtextedit.h"

#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/ui/displayformats.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>

#include <cstdio>
#include <functional>

static bool echoLines = false;

static const char outputGroup[] = "Output Window";

OutWindow::OutWindow(MainServices *mainWindow, QWidget *parent)
    : QDockWidget(parent)
    , m_mainWindow(mainWindow)
    , m_text(new OutTextEdit(this))
    , m_flushTimer(new QTimer(this))
{
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(0);
    connect(m_flushTimer, &QTimer::timeout, this, &OutWindow::flush);
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
    m_pending.clear();
    if (!m_text)
        return;
    m_text->clear();
    m_text->setCurrentCharFormat(m_messageFormat);
    showNow();
}

void OutWindow::message(const QString &text)
{
    echo(stdout, text);
    queue({m_messageFormat, text});
}

void OutWindow::error(const QString &text)
{
    echo(stderr, text);
    queue({m_errorFormat, text});
}

void OutWindow::success(const QString &text)
{
    echo(stdout, text);
    queue({m_successFormat, text});
}

static QString consoleLink(const QString &file, int line, int column, const QString &text)
{
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(text);
}

void OutWindow::link(const QString &file, int line, int column, const QString &text)
{
    echo(stdout, consoleLink(file, line, column, text));
    // The text of a plain link is rich text; one without markup needs no parsing.
    const bool plain = !text.contains(QLatin1Char('<')) && !text.contains(QLatin1Char('&'));
    appendLink(m_messageFormat, file, line, column, text, plain);
}

void OutWindow::errorLink(const QString &file, int line, int column, const QString &text)
{
    echo(stderr, consoleLink(file, line, column, text));
    appendLink(m_errorFormat, file, line, column, text, true);
}

void OutWindow::richText(const QString &html)
{
    if (echoLines)
        echo(stdout, QTextDocumentFragment::fromHtml(html).toPlainText());
    queue({m_messageFormat, html, true});
}

void OutWindow::appendLink(const QTextCharFormat &format,
                           const QString &file,
                           int line,
                           int column,
                           const QString &text,
                           bool plainText)
{
    const QString href = QStringLiteral("%1#%2.%3").arg(file).arg(line).arg(column);
    if (!plainText) {
        queue({format,
               QStringLiteral("%5<a href=\"%1\">%4</a>%6")
                   .arg(href.toHtmlEscaped(), text, m_linkPrefix, m_linkSuffix),
               true});
        return;
    }
    // The same paragraph the markup "%5<a href=\"%1#%2.%3\">%4</a>%6" gives, made directly.
    QTextCharFormat anchor = format;
    anchor.setAnchor(true);
    anchor.setAnchorHref(href);
    anchor.setForeground(m_linkFormat.foreground());
    anchor.setFontUnderline(m_linkFormat.fontUnderline());
    if (!m_linkPrefix.isEmpty()) {
        if (m_linkPrefix.contains(QLatin1String("<i>")))
            anchor.setFontItalic(true);
        if (m_linkPrefix.contains(QLatin1String("<b>")))
            anchor.setFontWeight(QFont::Bold);
    }
    queue({anchor, text});
}

void OutWindow::queue(Pending paragraph)
{
    if (!m_text)
        return;
    m_pending.push_back(std::move(paragraph));
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
    showNow();
}

// Puts the waiting paragraphs into the view in one edit, and keeps the view at the bottom when
// it was there.
void OutWindow::flush()
{
    if (!m_text || m_pending.empty())
        return;
    QScrollBar *bar = m_text->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum() - 2;
    QTextDocument *document = m_text->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const Pending &paragraph : m_pending) {
        if (!document->isEmpty())
            cursor.insertBlock(QTextBlockFormat(), paragraph.format);
        else
            cursor.setBlockCharFormat(paragraph.format);
        if (paragraph.html) {
            cursor.setCharFormat(paragraph.format);
            cursor.insertHtml(paragraph.text);
        } else {
            cursor.insertText(paragraph.text, paragraph.format);
        }
    }
    cursor.endEditBlock();
    m_pending.clear();
    m_text->setCurrentCharFormat(m_messageFormat);
    if (atBottom)
        bar->setValue(bar->maximum());
}

// Lines must appear while a long operation runs on the window's thread; repainting for every
// line of a fast compiler would cost more than the compiler, so the window catches up at most
// every few milliseconds.
void OutWindow::showNow()
{
    if (m_sinceShown.isValid() && m_sinceShown.elapsed() < 10)
        return;
    flush();
    QCoreApplication::processEvents();
    m_sinceShown.start();
}

OutTextEdit *OutWindow::textView()
{
    flush();
    return m_text;
}

QString OutWindow::plainText()
{
    flush();
    return m_text ? m_text->toPlainText() : QString();
}

void OutWindow::openLinkTarget(const QString &file, int line, int column)
{
    if (m_mainWindow)
        m_mainWindow->editors().openFileAt(file, line, column);
}

void OutWindow::applySettings()
{
    if (!m_mainWindow)
        return;
    const QString group = QLatin1String(outputGroup);
    m_messageFormat = m_mainWindow->formats().displayFormat(group, QStringLiteral("Messages"));
    m_errorFormat = m_mainWindow->formats().displayFormat(group, QStringLiteral("Errors"));
    m_linkFormat = m_mainWindow->formats().displayFormat(group, QStringLiteral("Links"));
    m_successFormat = m_mainWindow->formats().displayFormat(group, QStringLiteral("Success"));

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
    flush();
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
