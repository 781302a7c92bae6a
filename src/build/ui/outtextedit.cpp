#include "outtextedit.h"

#include "outwindow.h"

#include "build/buildrun.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

// A build's output is never cut at its start: the build stops showing its tools' lines first.
static_assert(OutTextEdit::keptLines > BuildRun::maxShownLines + 10000);

// Space between the text and the view's edges, in pixels.
static const int margin = 4;
// The shortest time between two updates of the view while lines arrive, in milliseconds.
static const int updateInterval = 25;
// Lines laid out and kept for drawing: several screens' worth.
static const int keptLayouts = 1000;
// How much of a line is laid out: what a tool writes without line ends can be megabytes, whose
// layout would take a second at each drawing; nobody scrolls that far to read.
static const int maxLaidOutChars = 65536;

OutTextEdit::OutTextEdit(OutWindow *outWindow)
    : QAbstractScrollArea(outWindow)
    , m_outWindow(outWindow)
{
    setObjectName(QStringLiteral("outTextEdit"));
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &OutTextEdit::linkActivated, this, &OutTextEdit::anchorClicked);
    measureFonts();
    updateScrollBars();
}

// Reads "line.column" (or "line") into the target.
static void readPosition(const QString &position, OutTextEdit::Target &target)
{
    const int dot = position.indexOf(QLatin1Char('.'));
    target.line = (dot < 0 ? position : position.left(dot)).toInt();
    target.column = dot < 0 ? 0 : position.mid(dot + 1).toInt();
}

OutTextEdit::Target OutTextEdit::parseLink(const QString &link)
{
    Target target;
    const int hash = link.lastIndexOf(QLatin1Char('#'));
    if (hash <= 0)
        return target;
    target.file = link.left(hash);
    readPosition(link.mid(hash + 1), target);
    return target;
}

void OutTextEdit::anchorClicked(const QUrl &link)
{
    Target target;
    if (link.scheme().isEmpty() && link.hasFragment() && !link.path().isEmpty()) {
        // The file as its path, "%" and "#" in names included.
        target.file = link.path(QUrl::FullyDecoded);
        readPosition(link.fragment(QUrl::FullyDecoded), target);
    } else {
        target = parseLink(link.toString());
    }
    if (target.file.isEmpty() || target.line < 0)
        return;
    m_outWindow->openLinkTarget(target.file, target.line, target.column);
}

void OutTextEdit::setFormats(const std::array<QTextCharFormat, KindCount> &formats)
{
    m_formats = formats;
    measureFonts();
    forgetLayouts();
    updateScrollBars();
    viewport()->update();
}

void OutTextEdit::measureFonts()
{
    m_lineHeight = 1;
    m_charWidth = 1;
    for (const QTextCharFormat &format : m_formats) {
        const QFontMetricsF metrics(format.font().resolve(font()));
        m_lineHeight = std::max(m_lineHeight, std::ceil(metrics.height()));
        m_charWidth = std::max(m_charWidth, metrics.averageCharWidth());
    }
    m_width = 0;
    for (const Line &line : m_lines)
        m_width = std::max(m_width, line.text.size() * m_charWidth);
}

void OutTextEdit::forgetLayouts()
{
    m_layouts.clear();
}

void OutTextEdit::appendLine(Kind kind,
                             const QString &text,
                             const QString &link,
                             const QList<QTextLayout::FormatRange> &markup)
{
    int markupIndex = -1;
    if (!markup.isEmpty()) {
        m_markup.push_back(markup);
        markupIndex = static_cast<int>(m_markup.size()) - 1;
    }
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QChar::LineSeparator)
        && !text.contains(QChar::ParagraphSeparator)) {
        pushLine(kind, text, link, markupIndex);
    } else {
        // One line a row: a break starts the next line, in the same looks.
        QString broken = text;
        broken.replace(QChar::LineSeparator, QLatin1Char('\n'));
        broken.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        for (const QString &part : broken.split(QLatin1Char('\n')))
            pushLine(kind, part, link, -1);
    }
    // A few at a time, so that each line costs a few moves at most.
    if (lineCount() > keptLines + keptLines / 8)
        dropOldestLines();
    linesChanged();
}

void OutTextEdit::dropOldestLines()
{
    // Those after the notice of the lines dropped before; the notice stays first.
    const int first = m_dropped > 0 ? 1 : 0;
    const int dropped = lineCount() - keptLines + 1 - first;
    m_lines.erase(m_lines.begin() + first, m_lines.begin() + first + dropped);
    m_dropped += dropped;
    const QString notice = tr("%n earlier lines of the output are no longer kept.",
                              nullptr,
                              int(std::min<qint64>(m_dropped, std::numeric_limits<int>::max())));
    if (first == 0)
        m_lines.insert(m_lines.begin(), Line{notice, QString(), -1, Message});
    else
        m_lines.front().text = notice;
    std::vector<QList<QTextLayout::FormatRange>> markup;
    for (Line &line : m_lines) {
        if (line.markup >= 0) {
            markup.push_back(std::move(m_markup[size_t(line.markup)]));
            line.markup = int(markup.size()) - 1;
        }
    }
    m_markup = std::move(markup);
    forgetLayouts();
    // What stays keeps its selection, the link pressed and its place in view.
    const int shift = dropped + first - 1;
    const auto moved = [shift](Position position) {
        return position.line - shift < 1 ? Position()
                                         : Position{position.line - shift, position.column};
    };
    m_anchor = moved(m_anchor);
    m_cursor = moved(m_cursor);
    m_pressedLink = m_pressedLink - shift < 1 ? -1 : m_pressedLink - shift;
    if (!m_viewPending) {
        QScrollBar *bar = verticalScrollBar();
        m_followEnd = bar->value() >= bar->maximum();
    }
    if (!m_followEnd)
        verticalScrollBar()->setValue(std::max(0, verticalScrollBar()->value() - shift));
}

void OutTextEdit::pushLine(Kind kind, const QString &text, const QString &link, int markup)
{
    m_lines.push_back(Line{text, link, markup, kind});
    m_width = std::max(m_width, text.size() * m_charWidth);
}

// Many lines can arrive between two paints: the view catches up once, when its thread turns
// to its events, and while lines keep coming at most every few milliseconds: a line after a
// pause shows at once, and a compiler that writes on and on does not pay for a paint a line.
void OutTextEdit::linesChanged()
{
    if (m_viewPending)
        return;
    m_viewPending = true;
    QScrollBar *bar = verticalScrollBar();
    m_followEnd = bar->value() >= bar->maximum();
    const qint64 since = m_sinceUpdate.isValid() ? m_sinceUpdate.elapsed() : updateInterval;
    QTimer::singleShot(int(std::max<qint64>(0, updateInterval - since)),
                       this,
                       &OutTextEdit::updateView);
}

void OutTextEdit::updateView()
{
    m_viewPending = false;
    m_sinceUpdate.start();
    updateScrollBars();
    if (m_followEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void OutTextEdit::clear()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_markup.clear();
    forgetLayouts();
    m_anchor = m_cursor = Position();
    m_pressedLink = -1;
    m_width = 0;
    m_dropped = 0;
    m_followEnd = true;
    updateScrollBars();
    viewport()->update();
}

void OutTextEdit::updateScrollBars()
{
    const int rows = std::max(1, static_cast<int>((viewport()->height() - margin) / m_lineHeight));
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, lineCount() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);
    QScrollBar *horizontal = horizontalScrollBar();
    const int width = static_cast<int>(std::ceil(m_width)) + 2 * margin;
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(static_cast<int>(std::ceil(m_charWidth)) * 2);
}

QString OutTextEdit::lineText(int line) const
{
    return line >= 0 && line < lineCount() ? m_lines[line].text : QString();
}

OutTextEdit::Kind OutTextEdit::lineKind(int line) const
{
    return line >= 0 && line < lineCount() ? m_lines[line].kind : Message;
}

QString OutTextEdit::lineLink(int line) const
{
    return line >= 0 && line < lineCount() ? m_lines[line].link : QString();
}

int OutTextEdit::linkLineFrom(int line, bool forward) const
{
    const int count = lineCount();
    for (int step = 1; step <= count; ++step) {
        const int at = ((forward ? line + step : line - step) % count + count) % count;
        if (m_lines[at].kind == Link || m_lines[at].kind == ErrorLink)
            return at;
    }
    return -1;
}

void OutTextEdit::selectLine(int line)
{
    if (line < 0 || line >= lineCount())
        return;
    m_anchor = Position{line, 0};
    m_cursor = Position{line, int(m_lines[line].text.size())};
    m_followEnd = false;
    scrollToSee(line);
    viewport()->update();
}

QTextCharFormat OutTextEdit::lineFormat(int line) const
{
    if (line < 0 || line >= lineCount())
        return QTextCharFormat();
    const Line &entry = m_lines[line];
    QTextCharFormat format = m_formats[entry.kind];
    if (entry.markup >= 0) {
        for (const QTextLayout::FormatRange &range : m_markup[entry.markup]) {
            if (range.start == 0)
                format.merge(range.format);
        }
    }
    if (!entry.link.isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(entry.link);
    }
    return format;
}

QString OutTextEdit::toPlainText() const
{
    QString text;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i)
            text += QLatin1Char('\n');
        text += m_lines[i].text;
    }
    return text;
}

QString OutTextEdit::selectedText() const
{
    if (!hasSelection())
        return QString();
    const Position start = std::min(m_anchor, m_cursor);
    const Position end = std::max(m_anchor, m_cursor);
    QString text;
    for (int line = start.line; line <= end.line && line < lineCount(); ++line) {
        const QString &lineText = m_lines[line].text;
        const int from = line == start.line ? start.column : 0;
        const int to = line == end.line ? end.column : lineText.size();
        text += lineText.mid(from, to - from);
        if (line != end.line)
            text += QLatin1Char('\n');
    }
    return text;
}

void OutTextEdit::selectAll()
{
    m_anchor = Position();
    m_cursor = m_lines.empty() ? Position()
                               : Position{lineCount() - 1, int(m_lines.back().text.size())};
    viewport()->update();
}

void OutTextEdit::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

QTextLayout *OutTextEdit::laidOut(int line) const
{
    const auto found = m_layouts.constFind(line);
    if (found != m_layouts.constEnd())
        return found->get();
    if (m_layouts.size() >= keptLayouts)
        m_layouts.clear();
    const Line &entry = m_lines[line];
    const int length = int(std::min<qsizetype>(entry.text.size(), maxLaidOutChars));
    auto layout = std::make_shared<QTextLayout>(length < entry.text.size() ? entry.text.left(length)
                                                                           : entry.text,
                                                font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    formats.append({0, length, m_formats[entry.kind]});
    if (entry.markup >= 0) {
        for (QTextLayout::FormatRange range : m_markup[entry.markup]) {
            if (range.start >= length)
                continue;
            range.length = std::min(range.length, length - range.start);
            QTextCharFormat format = m_formats[entry.kind];
            format.merge(range.format);
            range.format = format;
            formats.append(range);
        }
    }
    layout->setFormats(formats);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine())
        row.setLineWidth(std::numeric_limits<int>::max() / 256);
    layout->endLayout();
    // A stray break inside the text continues the line, never goes below it.
    qreal x = 0;
    for (int i = 0; i < layout->lineCount(); ++i) {
        QTextLine row = layout->lineAt(i);
        row.setPosition(QPointF(x, 0));
        x += row.naturalTextWidth();
    }
    m_width = std::max(m_width, x);
    return m_layouts.insert(line, std::move(layout))->get();
}

int OutTextEdit::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

QPointF OutTextEdit::lineOrigin(int line) const
{
    return QPointF(margin - horizontalScrollBar()->value(),
                   margin + (line - firstVisibleLine()) * m_lineHeight);
}

void OutTextEdit::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int first = firstVisibleLine();
    const int last = std::min(lineCount() - 1,
                              first + static_cast<int>(viewport()->height() / m_lineHeight) + 1);
    const Position start = std::min(m_anchor, m_cursor);
    const Position end = std::max(m_anchor, m_cursor);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    const qreal widthBefore = m_width;
    qreal tallest = m_lineHeight;
    for (int line = first; line <= last; ++line) {
        QTextLayout *layout = laidOut(line);
        const QPointF origin = lineOrigin(line);
        QList<QTextLayout::FormatRange> selections;
        if (hasSelection() && start.line <= line && line <= end.line) {
            const int from = line == start.line ? start.column : 0;
            const int to = line == end.line ? end.column : int(m_lines[line].text.size());
            if (to > from)
                selections.append({from, to - from, selected});
            if (line < end.line) {
                // The line's end is selected too.
                const qreal x = origin.x() + layout->boundingRect().width();
                painter.fillRect(QRectF(x, origin.y(), m_charWidth, m_lineHeight),
                                 palette().brush(QPalette::Highlight));
            }
        }
        layout->draw(&painter, origin, selections);
        for (int i = 0; i < layout->lineCount(); ++i)
            tallest = std::max(tallest, std::ceil(layout->lineAt(i).height()));
    }
    // Lines shown for the first time may be wider or taller than their fonts promised.
    const bool taller = tallest > m_lineHeight;
    if (taller) {
        m_lineHeight = tallest;
        viewport()->update();
    }
    if (taller || m_width != widthBefore)
        QTimer::singleShot(0, this, &OutTextEdit::updateScrollBars);
}

void OutTextEdit::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    updateScrollBars();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void OutTextEdit::scrollContentsBy(int, int)
{
    viewport()->update();
}

OutTextEdit::Position OutTextEdit::positionAt(const QPoint &point) const
{
    if (m_lines.empty())
        return Position();
    const int row = static_cast<int>(std::floor((point.y() - margin) / m_lineHeight));
    const int line = std::clamp(firstVisibleLine() + row, 0, lineCount() - 1);
    const QTextLayout *layout = laidOut(line);
    const qreal x = point.x() - lineOrigin(line).x();
    int column = 0;
    for (int i = layout->lineCount() - 1; i >= 0; --i) {
        const QTextLine row = layout->lineAt(i);
        if (x >= row.x() || i == 0) {
            column = row.xToCursor(x, QTextLine::CursorBetweenCharacters);
            break;
        }
    }
    return Position{line, std::clamp(column, 0, int(m_lines[line].text.size()))};
}

int OutTextEdit::linkAt(const QPoint &point) const
{
    const qreal y = point.y() - margin;
    if (y < 0)
        return -1;
    const int line = firstVisibleLine() + static_cast<int>(y / m_lineHeight);
    if (line >= lineCount() || m_lines[line].link.isEmpty())
        return -1;
    const qreal x = point.x() - lineOrigin(line).x();
    return x >= 0 && x < laidOut(line)->boundingRect().width() ? line : -1;
}

void OutTextEdit::scrollToSee(int line)
{
    QScrollBar *bar = verticalScrollBar();
    if (line < bar->value())
        bar->setValue(line);
    else if (line >= bar->value() + bar->pageStep())
        bar->setValue(line - bar->pageStep() + 1);
}

void OutTextEdit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    m_pressedLink = linkAt(point);
    m_cursor = positionAt(point);
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = m_cursor;
    m_selecting = true;
    viewport()->update();
}

void OutTextEdit::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        m_cursor = positionAt(point);
        if (hasSelection())
            m_pressedLink = -1;
        if (point.y() < 0 || point.y() > viewport()->height())
            scrollToSee(m_cursor.line);
        viewport()->update();
    }
    viewport()->setCursor(linkAt(point) >= 0 ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

void OutTextEdit::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_selecting = false;
    const int pressed = m_pressedLink;
    m_pressedLink = -1;
    if (pressed >= 0 && !hasSelection() && linkAt(event->position().toPoint()) == pressed) {
        // The position follows the last "#": the file's name may hold one too.
        const QString &target = m_lines[pressed].link;
        const int hash = target.lastIndexOf(QLatin1Char('#'));
        QUrl link;
        link.setPath(target.left(hash), QUrl::DecodedMode);
        link.setFragment(target.mid(hash + 1), QUrl::DecodedMode);
        emit linkActivated(link);
    }
}

void OutTextEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_lines.empty())
        return;
    // A double click takes the whole line.
    const Position at = positionAt(event->position().toPoint());
    m_anchor = Position{at.line, 0};
    m_cursor = Position{at.line, int(m_lines[at.line].text.size())};
    m_selecting = false;
    viewport()->update();
}

void OutTextEdit::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *vertical = verticalScrollBar();
    QScrollBar *horizontal = horizontalScrollBar();
    if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        vertical->setValue(0);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        vertical->setValue(vertical->maximum());
    } else if (event->key() == Qt::Key_Home) {
        horizontal->setValue(0);
    } else if (event->key() == Qt::Key_End) {
        horizontal->setValue(horizontal->maximum());
    } else {
        // Arrows and page keys scroll.
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void OutTextEdit::fillContextMenu(QMenu &menu)
{
    QAction *copyAction = menu.addAction(tr("&Copy"), this, &OutTextEdit::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction *selectAllAction = menu.addAction(tr("Select All"), this, &OutTextEdit::selectAll);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(!m_lines.empty());
    menu.addSeparator();
    menu.addAction(tr("C&lear"), this, &OutTextEdit::clear)->setEnabled(!m_lines.empty());
}

void OutTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    fillContextMenu(menu);
    menu.exec(event->globalPos());
}

void OutTextEdit::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        measureFonts();
        forgetLayouts();
        updateScrollBars();
        viewport()->update();
    }
}
