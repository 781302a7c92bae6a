#include "debuggerpanel.h"

#include "editor/sourcetext.h"
#include "platform/boundedfile.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const QColor changedColour(200, 0, 0);
} // namespace

DebuggerPanel::DebuggerPanel(QWidget *parent)
    : QWidget(parent)
    , m_location(new QLabel)
    , m_source(new QPlainTextEdit)
    , m_values(new QTreeWidget)
    , m_watch(new QLineEdit)
    , m_memoryAddress(new QLineEdit)
    , m_memory(new QTextEdit)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *tools = new QToolBar;
    tools->setObjectName(QStringLiteral("debugToolBar"));
    const auto add = [&](const QString &text, const QKeySequence &keys, auto slot) {
        QAction *action = tools->addAction(text, this, [this, slot] {
            if (m_debugger)
                slot(m_debugger);
        });
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.toString()));
        m_commands.append(action);
        return action;
    };
    m_continue = add(tr("Continue"), QKeySequence(Qt::Key_F5), [](SourceDebugger *d) {
        d->resume();
    });
    m_pause = add(tr("Pause"), QKeySequence(Qt::SHIFT | Qt::Key_F5), [](SourceDebugger *d) {
        d->pause();
    });
    add(tr("Step Into"), QKeySequence(Qt::Key_F11), [](SourceDebugger *d) { d->stepInto(); });
    add(tr("Step Over"), QKeySequence(Qt::Key_F10), [](SourceDebugger *d) { d->stepOver(); });
    add(tr("Step Out"), QKeySequence(Qt::SHIFT | Qt::Key_F11), [](SourceDebugger *d) {
        d->stepOut();
    });
    add(tr("Run to Cursor"), QKeySequence(Qt::CTRL | Qt::Key_F10), [this](SourceDebugger *d) {
        if (!m_sourceFile.isEmpty())
            d->runTo(m_sourceFile, m_source->textCursor().blockNumber() + 1);
    });
    layout->addWidget(tools);
    m_location->setObjectName(QStringLiteral("debugLocation"));
    m_location->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_location);

    // The source with the memory under it, beside the values with the watch under them: the
    // views that grow take the height, and the dock can stay low beside the board.
    auto *split = new QSplitter(Qt::Horizontal);
    const auto column =
        [split](QWidget *grows, const QString &label, QLineEdit *edit, QWidget *below) {
            auto *box = new QWidget;
            auto *boxLayout = new QVBoxLayout(box);
            boxLayout->setContentsMargins(0, 0, 0, 0);
            boxLayout->addWidget(grows, 1);
            auto *form = new QFormLayout;
            form->addRow(label, edit);
            boxLayout->addLayout(form);
            if (below)
                boxLayout->addWidget(below);
            split->addWidget(box);
        };
    m_source->setObjectName(QStringLiteral("debugSource"));
    m_source->setReadOnly(true);
    m_source->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_source->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_source->setFont(QFont(QStringLiteral("Monospace")));
    m_source->setToolTip(tr("Place the cursor on a line and choose Run to Cursor"));
    m_source->installEventFilter(this);
    m_memoryAddress->setObjectName(QStringLiteral("memoryAddress"));
    m_memoryAddress->setPlaceholderText(tr("An address or &variable"));
    m_memory->setObjectName(QStringLiteral("memoryView"));
    m_memory->setReadOnly(true);
    m_memory->setFont(QFont(QStringLiteral("Monospace")));
    // A few lines of bytes.
    m_memory->setMaximumHeight(QFontMetrics(m_memory->font()).lineSpacing() * 4
                               + 2 * m_memory->frameWidth() + 8);
    column(m_source, tr("Memory at:"), m_memoryAddress, m_memory);
    m_values->setObjectName(QStringLiteral("debugValues"));
    m_values->setHeaderLabels({tr("Name"), tr("Value")});
    m_values->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_watch->setObjectName(QStringLiteral("watchEdit"));
    m_watch->setPlaceholderText(tr("A global variable; Enter adds it, an empty line clears"));
    column(m_values, tr("Watch:"), m_watch, nullptr);
    layout->addWidget(split, 1);

    connect(m_watch, &QLineEdit::returnPressed, this, &DebuggerPanel::addWatch);
    connect(m_memoryAddress, &QLineEdit::returnPressed, this, &DebuggerPanel::setMemory);
    setDebugger(nullptr);
}

void DebuggerPanel::setDebugger(SourceDebugger *debugger)
{
    if (m_debugger)
        disconnect(m_debugger, nullptr, this, nullptr);
    m_debugger = debugger;
    clearValues();
    m_memory->clear();
    m_source->clear();
    m_sourceFile.clear();
    m_location->setText(debugger ? tr("The debugger is starting.")
                                 : tr("No debugger: the firmware runs without breakpoints."));
    if (debugger) {
        // What was watched stays through a new firmware (the same built again).
        debugger->setWatchedGlobals(m_watched);
        if (!m_memoryAddress->text().trimmed().isEmpty())
            debugger->setMemoryView(m_memoryAddress->text().trimmed(), memoryViewBytes);
        connect(debugger, &SourceDebugger::stateChanged, this, &DebuggerPanel::updateCommands);
        connect(debugger, &SourceDebugger::stopped, this, &DebuggerPanel::showStop);
    }
    updateCommands();
}

void DebuggerPanel::updateCommands()
{
    const bool paused = m_debugger && m_debugger->isPaused();
    for (QAction *action : std::as_const(m_commands))
        action->setEnabled(paused);
    m_pause->setEnabled(m_debugger && m_debugger->state() == SourceDebugger::State::Running);
    if (m_debugger && m_debugger->state() == SourceDebugger::State::Running)
        m_location->setText(tr("Running."));
    else if (m_debugger && m_debugger->state() == SourceDebugger::State::Ended)
        m_location->setText(tr("The debugger has ended."));
}

QString DebuggerPanel::locationText() const
{
    return m_location->text();
}

QTreeWidgetItem *DebuggerPanel::group(const QString &title, const QList<DebugValue> &values)
{
    auto *top = new QTreeWidgetItem(m_values, {title});
    for (const DebugValue &value : values) {
        auto *item = new QTreeWidgetItem(top, {value.name, value.value});
        if (value.changed)
            item->setForeground(1, changedColour);
    }
    top->setExpanded(m_open.value(title, title != tr("Registers")));
    return top;
}

void DebuggerPanel::clearValues()
{
    for (int i = 0; i < m_values->topLevelItemCount(); ++i)
        m_open.insert(m_values->topLevelItem(i)->text(0), m_values->topLevelItem(i)->isExpanded());
    if (m_values->topLevelItemCount() > 0)
        m_valuesScrolled = m_values->verticalScrollBar()->value();
    m_values->clear();
}

void DebuggerPanel::showStop(const DebugStop &stop)
{
    const DebugFrame &where = stop.where;
    QString place = tr("Stopped at 0x%1").arg(where.address, 4, 16, QLatin1Char('0'));
    if (!where.function.isEmpty())
        place += tr(" in %1").arg(where.function);
    if (!where.file.isEmpty())
        place += tr(", %1 line %2").arg(QFileInfo(where.file).fileName()).arg(where.line);
    m_location->setText(place + QLatin1Char('.'));
    showSource(where.file, where.line);

    clearValues();
    QList<DebugValue> frames;
    for (const DebugFrame &frame : stop.frames) {
        frames.append(
            {frame.function,
             frame.file.isEmpty()
                 ? QStringLiteral("0x%1").arg(frame.address, 4, 16, QLatin1Char('0'))
                 : QStringLiteral("%1:%2").arg(QFileInfo(frame.file).fileName()).arg(frame.line)});
    }
    group(tr("Call Stack"), frames);
    group(tr("Locals"), stop.locals);
    group(tr("Globals"), stop.globals);
    group(tr("Registers"), stop.registers);
    m_values->doItemsLayout(); // the scroll bar's range, before it is set
    m_values->verticalScrollBar()->setValue(m_valuesScrolled);

    // Sixteen bytes a row, the address first; changed bytes in red.
    QString html = QStringLiteral("<pre>");
    for (int row = 0; row < stop.memory.size(); row += 16) {
        html += QStringLiteral("%1 ").arg(stop.memoryAddress + row, 8, 16, QLatin1Char('0'));
        for (int i = row; i < std::min<int>(row + 16, stop.memory.size()); ++i) {
            const QString byte = QStringLiteral(" %1").arg(std::uint8_t(stop.memory.at(i)),
                                                           2,
                                                           16,
                                                           QLatin1Char('0'));
            html += stop.changedBytes.contains(i)
                        ? QStringLiteral("<span style=\"color:#c80000\">%1</span>").arg(byte)
                        : byte;
        }
        html += QLatin1Char('\n');
    }
    m_memory->setHtml(html + QStringLiteral("</pre>"));
    // The reason is among the messages.
    if (stop.memory.isEmpty() && !m_memoryAddress->text().trimmed().isEmpty())
        m_memory->setPlainText(
            tr("The memory at %1 cannot be read.").arg(m_memoryAddress->text().trimmed()));
}

void DebuggerPanel::showSource(const QString &file, int line)
{
    if (file != m_sourceFile) {
        m_sourceFile = file;
        QByteArray text;
        Platform::readBoundedFile(file, 16 << 20, text, nullptr);
        // Read as the IDE's editor reads it (UTF-8, else ISO 8859-1; UTF-16 by its mark).
        SourceText decoder;
        m_source->setPlainText(decoder.decode(text).value_or(QString()));
    }
    QList<QTextEdit::ExtraSelection> marks;
    const QTextBlock block = m_source->document()->findBlockByNumber(line - 1);
    if (block.isValid()) {
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(QColor(255, 240, 150));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        mark.cursor = QTextCursor(block);
        marks.append(mark);
        m_source->setTextCursor(mark.cursor);
        // A view not shown yet has no height to put the line in the middle of.
        m_centreWhenShown = !m_source->isVisible();
        m_source->centerCursor();
    }
    m_source->setExtraSelections(marks);
}

bool DebuggerPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_source && (event->type() == QEvent::Show || event->type() == QEvent::Resize)
        && m_centreWhenShown && m_source->isVisible()) {
        m_centreWhenShown = false;
        // Once the layout has given the view its size.
        QTimer::singleShot(0, m_source, [source = m_source] { source->centerCursor(); });
    }
    return QWidget::eventFilter(watched, event);
}

void DebuggerPanel::addWatch()
{
    if (!m_debugger)
        return;
    const QString name = m_watch->text().trimmed();
    QStringList globals = m_debugger->watchedGlobals();
    if (name.isEmpty())
        globals.clear();
    else if (!globals.contains(name))
        globals.append(name);
    m_debugger->setWatchedGlobals(globals);
    m_watched = globals;
    m_watch->clear();
    m_debugger->refresh();
}

void DebuggerPanel::setMemory()
{
    if (!m_debugger)
        return;
    m_debugger->setMemoryView(m_memoryAddress->text().trimmed(), memoryViewBytes);
    m_debugger->refresh();
}
