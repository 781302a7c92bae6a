#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QHash>
#include <QTextCharFormat>
#include <QTextLayout>

#include <array>
#include <memory>
#include <vector>

class OutWindow;

// The text view of the output window: read-only lines that never wrap, each a message, an
// error, a success notice or a link to a source position. It keeps its lines in a list of its
// own and lays out only those on screen, so a compiler that writes a hundred thousand lines
// costs no more to show than to read. Lines can be selected and copied; a click on a link asks
// the main window to open the file at the line and column the link names.
class QMenu;

class OutTextEdit : public QAbstractScrollArea
{
    Q_OBJECT

public:
    enum Kind : quint8 { Message, Error, Success, Link, ErrorLink, KindCount };

    explicit OutTextEdit(OutWindow *outWindow);

    // The looks of each kind of line; lines already shown take them at once.
    void setFormats(const std::array<QTextCharFormat, KindCount> &formats);

    // Appends a line; a line break in text starts another line of the same kind. A link
    // names its target as "file#line.column". Marked-up text comes with its own formats,
    // drawn over those of its kind.
    void appendLine(Kind kind,
                    const QString &text,
                    const QString &link = QString(),
                    const QList<QTextLayout::FormatRange> &markup = {});
    void clear();
    // The lines kept, more than one build shows: beyond them (a simulated firmware that writes
    // on its serial port for hours) the oldest go, and the first line says how many went.
    static constexpr int keptLines = 1050000;
    // The context menu's commands: Copy, Select All and Clear.
    void fillContextMenu(QMenu &menu);

    int lineCount() const { return static_cast<int>(m_lines.size()); }
    QString lineText(int line) const;
    Kind lineKind(int line) const;
    // The format a line's text starts with; a link line's is an anchor naming its target.
    QTextCharFormat lineFormat(int line) const;
    QString toPlainText() const;

    // The first link line after line (or before it, backwards), going round past the end;
    // -1 when there is none.
    int linkLineFrom(int line, bool forward) const;
    QString lineLink(int line) const;
    // Selects a whole line and scrolls it into view.
    void selectLine(int line);

    QString selectedText() const;
    bool hasSelection() const { return m_anchor != m_cursor; }
    void selectAll();
    void copy() const;

    struct Target
    {
        QString file;
        int line = -1;
        int column = 0;
    };
    // Reads "file#line.column" (or "file#line"); an empty file when the link names nothing.
    static Target parseLink(const QString &link);

signals:
    // A link was clicked.
    void linkActivated(const QUrl &link);

public slots:
    void anchorClicked(const QUrl &link);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Line
    {
        QString text;
        QString link;
        int markup = -1; // index into m_markup, or none
        Kind kind = Message;
    };
    struct Position
    {
        int line = 0;
        int column = 0;
        bool operator==(const Position &other) const
        {
            return line == other.line && column == other.column;
        }
        bool operator!=(const Position &other) const { return !(*this == other); }
        bool operator<(const Position &other) const
        {
            return line < other.line || (line == other.line && column < other.column);
        }
    };

    void pushLine(Kind kind, const QString &text, const QString &link, int markup);
    void dropOldestLines();
    void linesChanged();
    void updateView();
    void updateScrollBars();
    void measureFonts();
    void forgetLayouts();
    QTextLayout *laidOut(int line) const;
    int firstVisibleLine() const;
    QPointF lineOrigin(int line) const;
    Position positionAt(const QPoint &point) const;
    // The line whose link text lies under the point, or -1.
    int linkAt(const QPoint &point) const;
    void scrollToSee(int line);

    OutWindow *m_outWindow;
    std::vector<Line> m_lines;
    std::vector<QList<QTextLayout::FormatRange>> m_markup;
    std::array<QTextCharFormat, KindCount> m_formats;
    mutable QHash<int, std::shared_ptr<QTextLayout>> m_layouts;
    qreal m_lineHeight = 1;
    qreal m_charWidth = 1;
    mutable qreal m_width = 0;
    bool m_viewPending = false;
    QElapsedTimer m_sinceUpdate;
    bool m_followEnd = true;
    Position m_anchor;
    Position m_cursor;
    int m_pressedLink = -1;
    bool m_selecting = false;
    qint64 m_dropped = 0; // lines dropped since the last clear
};
