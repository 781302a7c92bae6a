#include "vexawindow.h"

#include "channel/vexachannel.h"
#include "hexfile.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstdio>

// A part drawn on the board: the controller with its pins, an LED, a push button or the
// terminal's connector.
class BoardItem : public QGraphicsItem
{
public:
    BoardItem(VexaWindow *window, const DesignPart &part, QStringList pins)
        : m_window(window)
        , m_part(part)
        , m_pins(std::move(pins))
    {
        setPos(part.place);
        setFlag(ItemIsSelectable);
        setAcceptedMouseButtons(Qt::LeftButton);
    }

    DesignPart part() const
    {
        DesignPart p = m_part;
        p.place = pos();
        return p;
    }
    bool isController() const { return m_part.type == QLatin1String("CONTROLLER"); }
    void setArranging(bool arranging) { setFlag(ItemIsMovable, arranging); }
    std::function<void(const QString &pin, bool level)> drive;

    QRectF boundingRect() const override
    {
        if (isController()) {
            const int rows = (int(m_pins.size()) + 1) / 2;
            return QRectF(0, 0, 260, 40 + rows * 16);
        }
        if (m_part.type == QLatin1String("TERMINAL"))
            return QRectF(0, 0, 160, 40);
        return QRectF(0, 0, 160, 40);
    }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override
    {
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF r = boundingRect();
        if (isSelected()) {
            painter->setPen(QPen(Qt::blue, 1, Qt::DashLine));
            painter->drawRect(r.adjusted(-2, -2, 2, 2));
        }
        painter->setPen(Qt::black);
        if (isController()) {
            painter->setBrush(QColor(40, 40, 40));
            painter->drawRoundedRect(r, 6, 6);
            painter->setPen(Qt::white);
            painter->drawText(QRectF(0, 6, r.width(), 20), Qt::AlignCenter, m_part.name);
            for (int i = 0; i < m_pins.size(); ++i) {
                const bool left = i % 2 == 0;
                const QPointF at(left ? 10 : 140, 34 + (i / 2) * 16);
                const bool high = m_window->pinLevel(m_pins.at(i));
                painter->setPen(Qt::NoPen);
                painter->setBrush(high ? QColor(80, 220, 80) : QColor(90, 90, 90));
                painter->drawRect(QRectF(at, QSizeF(10, 10)));
                painter->setPen(Qt::white);
                painter->drawText(QRectF(at + QPointF(14, -3), QSizeF(100, 16)),
                                  Qt::AlignLeft | Qt::AlignVCenter,
                                  m_pins.at(i));
            }
            return;
        }
        const QString label = m_part.type == QLatin1String("TERMINAL")
                                  ? m_part.name + QLatin1String(" on ") + m_part.uart
                                  : m_part.name + QLatin1String(" on ") + m_part.pin;
        if (m_part.type == QLatin1String("LED")) {
            const QColor on(m_part.colour.isEmpty() ? QStringLiteral("red") : m_part.colour);
            const bool lit = m_window->pinLevel(m_part.pin);
            painter->setBrush(lit ? on : on.darker(400));
            painter->drawEllipse(QRectF(4, 4, 32, 32));
        } else if (m_part.type == QLatin1String("BUTTON")) {
            painter->setBrush(m_pressed ? QColor(120, 120, 120) : QColor(200, 200, 200));
            painter->drawRoundedRect(QRectF(4, 4, 32, 32), 6, 6);
        } else {
            painter->setBrush(QColor(230, 230, 250));
            painter->drawRect(QRectF(4, 4, 32, 32));
            painter->drawText(QRectF(4, 4, 32, 32), Qt::AlignCenter, QStringLiteral(">_"));
        }
        painter->setPen(Qt::black);
        painter->drawText(QRectF(42, 0, 118, 40), Qt::AlignLeft | Qt::AlignVCenter, label);
    }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override
    {
        if (!(flags() & ItemIsMovable) && m_part.type == QLatin1String("BUTTON")) {
            m_pressed = true;
            if (drive)
                drive(m_part.pin, false); // the button pulls its pin low
            update();
            event->accept();
            return;
        }
        QGraphicsItem::mousePressEvent(event);
    }
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override
    {
        if (m_pressed) {
            m_pressed = false;
            if (drive)
                drive(m_part.pin, true);
            update();
            event->accept();
            return;
        }
        QGraphicsItem::mouseReleaseEvent(event);
    }

private:
    VexaWindow *m_window;
    DesignPart m_part;
    QStringList m_pins;
    bool m_pressed = false;
};

VexaWindow::VexaWindow(const QString &handOffPath, QWidget *parent)
    : QMainWindow(parent)
    , m_handOffPath(handOffPath)
    , m_scene(new QGraphicsScene(this))
    , m_view(new QGraphicsView(m_scene, this))
    , m_terminal(new QPlainTextEdit)
    , m_terminalInput(new QLineEdit)
    , m_messages(new QPlainTextEdit)
    , m_status(new QLabel)
    , m_timer(new QTimer(this))
{
    setWindowTitle(tr("VEXA"));
    setObjectName(QStringLiteral("VexaWindow"));
    resize(900, 640);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setBackgroundBrush(QColor(235, 240, 230));
    setCentralWidget(m_view);

    QToolBar *tools = addToolBar(tr("Simulation"));
    tools->setObjectName(QStringLiteral("simulationToolBar"));
    m_runAction = tools->addAction(tr("Run"), this, &VexaWindow::run);
    m_stopAction = tools->addAction(tr("Stop"), this, &VexaWindow::stop);
    m_resetAction = tools->addAction(tr("Reset"), this, &VexaWindow::resetController);
    tools->addSeparator();
    tools->addAction(tr("Add LED..."), this, [this] { addPart(QStringLiteral("LED")); });
    tools->addAction(tr("Add Button..."), this, [this] { addPart(QStringLiteral("BUTTON")); });
    QAction *remove = tools->addAction(tr("Remove"), this, &VexaWindow::removeSelectedParts);
    remove->setShortcut(QKeySequence::Delete);
    m_arrangeAction = tools->addAction(tr("Arrange"));
    m_arrangeAction->setCheckable(true);
    connect(m_arrangeAction, &QAction::toggled, this, [this](bool on) {
        for (BoardItem *item : std::as_const(m_items))
            item->setArranging(on);
        if (!on)
            partsMoved();
    });
    QAction *save = tools->addAction(tr("Save Design"), this, &VexaWindow::saveDesign);
    save->setShortcut(QKeySequence::Save);

    auto *terminalDock = new QDockWidget(tr("Serial Terminal"), this);
    terminalDock->setObjectName(QStringLiteral("terminalDock"));
    auto *terminalWidget = new QWidget;
    auto *terminalLayout = new QVBoxLayout(terminalWidget);
    terminalLayout->setContentsMargins(2, 2, 2, 2);
    m_terminal->setReadOnly(true);
    m_terminal->setObjectName(QStringLiteral("terminal"));
    m_terminal->setMaximumBlockCount(5000);
    m_terminal->setFont(QFont(QStringLiteral("Monospace")));
    m_terminalInput->setObjectName(QStringLiteral("terminalInput"));
    m_terminalInput->setPlaceholderText(tr("Type and press Enter to send to the serial port"));
    terminalLayout->addWidget(m_terminal);
    terminalLayout->addWidget(m_terminalInput);
    terminalDock->setWidget(terminalWidget);
    addDockWidget(Qt::BottomDockWidgetArea, terminalDock);
    connect(m_terminalInput, &QLineEdit::returnPressed, this, [this] {
        if (!m_engine || !m_engine->canReceiveSerial()) {
            report(tr("This controller's serial port takes no input in this simulator."));
            return;
        }
        for (const char c : m_terminalInput->text().toLatin1() + '\r')
            m_engine->sendSerial(c);
        m_terminalInput->clear();
    });

    auto *messagesDock = new QDockWidget(tr("Messages"), this);
    messagesDock->setObjectName(QStringLiteral("messagesDock"));
    m_messages->setReadOnly(true);
    m_messages->setObjectName(QStringLiteral("messages"));
    messagesDock->setWidget(m_messages);
    addDockWidget(Qt::BottomDockWidgetArea, messagesDock);
    tabifyDockWidget(terminalDock, messagesDock);
    terminalDock->raise();

    statusBar()->addWidget(m_status, 1);
    connect(m_timer, &QTimer::timeout, this, &VexaWindow::tick);
    updateStatus();
    if (!m_handOffPath.isEmpty())
        reloadHandOff();
    else
        report(tr("No hand-off file was given (/P:file)."));
}

VexaWindow::~VexaWindow()
{
    m_trace.close(simulatedNs());
}

QString VexaWindow::terminalText() const
{
    return m_terminal->toPlainText();
}

void VexaWindow::report(const QString &text)
{
    // The status line belongs to the run; a message shows in its own tab, brought forward.
    m_messages->appendPlainText(text);
    if (auto *dock = findChild<QDockWidget *>(QStringLiteral("messagesDock")))
        dock->raise();
    std::fprintf(stderr, "VEXA: %s\n", qPrintable(text));
    if (m_channel)
        m_channel->sendNote(QStringLiteral("ERROR"), text);
}

int VexaWindow::command(int code)
{
    switch (code) {
    case VexaChannel::StopSimulation:
        stop();
        return 1;
    case VexaChannel::CloseProgram:
        // After the answer has gone out.
        QTimer::singleShot(0, this, &QWidget::close);
        return 1;
    case VexaChannel::ReloadHandOff:
        reloadHandOff();
        return 1;
    default:
        return 0;
    }
}

void VexaWindow::setTimedRun(double seconds, const QString &traceFile)
{
    m_timedSeconds = seconds;
    m_traceFile = traceFile;
    m_timedPending = seconds > 0;
}

void VexaWindow::reloadHandOff()
{
    stop();
    QString error;
    HandOff handOff;
    if (!HandOff::read(m_handOffPath, &handOff, &error)) {
        report(error);
        return;
    }
    m_handOff = handOff;
    setWindowTitle(tr("VEXA - %1").arg(QFileInfo(handOff.designFile).fileName()));
    if (m_engineFamily != handOff.family.toUpper() || !m_engine) {
        m_engine = Engine::forFamily(handOff.family);
        m_engineFamily = handOff.family.toUpper();
        if (m_engine) {
            m_engine->pinChanged = [this](const QString &pin, bool level, std::uint64_t t) {
                pinChanged(pin, level, t);
            };
            m_engine->serialOutput = [this](char byte) { serialByte(byte); };
        }
    }
    m_levels.clear();
    m_serialLine.clear();
    bool loaded = false;
    if (!m_engine) {
        report(tr("No simulation engine simulates the %1 family (controller %2).")
                   .arg(handOff.family, handOff.device));
    } else if (handOff.program.isEmpty() || !QFileInfo::exists(handOff.program)) {
        report(tr("The firmware %1 does not exist: build the project first.").arg(handOff.program));
    } else {
        const QString problem = m_engine->load(handOff.program,
                                               handOff.device,
                                               Engine::parseClock(handOff.clock));
        if (!problem.isEmpty())
            report(problem);
        else
            loaded = true;
    }
    loadDesign(handOff.designFile, handOff.family);
    m_terminal->clear();
    updateStatus();
    if (loaded && (handOff.autorun || m_timedPending))
        run();
    else if (m_timedPending && handOff.autorun)
        finishTimedRun(false);
}

void VexaWindow::loadDesign(const QString &path, const QString &family)
{
    const QStringList pins = m_engine && m_engine->isLoaded() ? m_engine->pins() : QStringList();
    QString error;
    bool isNew = false;
    m_designUsable = false;
    if (path.isEmpty()) {
        report(tr("The hand-off names no design file."));
        m_design = Design();
    } else if (!m_design.load(path, &error, &isNew)) {
        report(error);
        m_design = Design();
    } else {
        m_designUsable = true;
        if (isNew || m_handOff.newDesign) {
            m_design.controller = m_handOff.device;
            m_design.fillDefault(family, pins, m_engine ? m_engine->serialName() : QString());
            saveDesign();
        } else if (!pins.isEmpty()) {
            const QStringList unknown = m_design.unknownPins(pins);
            if (!unknown.isEmpty()) {
                report(tr("The design names pins the %1 lacks: %2")
                           .arg(m_handOff.device, unknown.join(QLatin1String(", "))));
            }
        }
    }
    rebuildBoard();
}

bool VexaWindow::saveDesign()
{
    if (!m_designUsable || m_handOff.designFile.isEmpty()) {
        report(tr("The design was not read whole, so it is not saved over its file."));
        return false;
    }
    partsMoved();
    if (m_design.controller.isEmpty())
        m_design.controller = m_handOff.device;
    QString error;
    if (!m_design.save(m_handOff.designFile, &error)) {
        report(error);
        return false;
    }
    m_messages->appendPlainText(tr("Saved %1").arg(m_handOff.designFile));
    return true;
}

void VexaWindow::rebuildBoard()
{
    m_scene->clear();
    m_items.clear();
    const QStringList pins = m_engine && m_engine->isLoaded() ? m_engine->pins() : QStringList();
    DesignPart controller;
    controller.type = QStringLiteral("CONTROLLER");
    controller.name = m_handOff.device;
    auto *chip = new BoardItem(this, controller, pins);
    m_scene->addItem(chip);
    for (const DesignPart &part : std::as_const(m_design.parts)) {
        auto *item = new BoardItem(this, part, {});
        item->drive = [this](const QString &pin, bool level) {
            if (!m_engine || !m_engine->canDriveInputs()) {
                report(tr("This controller's pins take no input in this simulator."));
                return;
            }
            m_engine->setInput(pin, level);
        };
        item->setArranging(m_arrangeAction->isChecked());
        m_scene->addItem(item);
        m_items.append(item);
    }
}

void VexaWindow::partsMoved()
{
    QList<DesignPart> parts;
    for (const BoardItem *item : std::as_const(m_items))
        parts.append(item->part());
    if (parts.size() == m_design.parts.size())
        m_design.parts = parts;
}

void VexaWindow::addPart(const QString &type)
{
    if (!m_designUsable) {
        report(tr("The design was not read whole; parts cannot be added to it."));
        return;
    }
    const QStringList pins = m_engine && m_engine->isLoaded() ? m_engine->pins() : QStringList();
    if (pins.isEmpty()) {
        report(tr("Load a firmware first: the controller's pins are not known."));
        return;
    }
    bool ok = false;
    const QString pin = QInputDialog::getItem(this, tr("Add Part"), tr("Pin:"), pins, 0, false, &ok);
    if (!ok)
        return;
    partsMoved();
    DesignPart part;
    part.type = type;
    part.name = m_design.uniqueName(type == QLatin1String("LED") ? QStringLiteral("D")
                                                                 : QStringLiteral("S"));
    part.pin = pin;
    part.colour = type == QLatin1String("LED") ? QStringLiteral("red") : QString();
    part.place = QPointF(560, 40 + 50 * m_design.parts.size());
    m_design.parts.append(part);
    rebuildBoard();
}

void VexaWindow::removeSelectedParts()
{
    partsMoved();
    QList<DesignPart> kept;
    for (BoardItem *item : std::as_const(m_items)) {
        if (!item->isSelected())
            kept.append(item->part());
    }
    if (kept.size() == m_design.parts.size())
        return;
    m_design.parts = kept;
    rebuildBoard();
}

bool VexaWindow::isRunning() const
{
    return m_timer->isActive();
}

void VexaWindow::run()
{
    if (!m_engine || !m_engine->isLoaded()) {
        report(tr("There is no firmware loaded to run."));
        if (m_timedPending)
            finishTimedRun(false);
        return;
    }
    if (m_timedPending) {
        m_timedPending = false;
        m_timedActive = true;
        m_timedEndNs = m_engine->timeNs() + std::uint64_t(m_timedSeconds * 1e9);
        if (!m_traceFile.isEmpty()) {
            QString error;
            if (!m_trace.open(m_traceFile, m_handOff.device, m_engine->pins(), &error)) {
                report(error);
                finishTimedRun(false);
                return;
            }
            for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it)
                m_trace.change(it.key(), it.value(), m_engine->timeNs());
        }
    }
    m_wall.start();
    m_aliveWall.start();
    m_runStartNs = m_engine->timeNs();
    m_speedWall.start();
    m_speedStartNs = m_runStartNs;
    m_timer->start(m_timedActive ? 0 : 10);
    updateStatus();
}

void VexaWindow::stop()
{
    m_timer->stop();
    if (m_engine)
        m_engine->halt();
    if (m_timedActive)
        finishTimedRun(false);
    updateStatus();
}

void VexaWindow::resetController()
{
    if (!m_engine)
        return;
    m_engine->reset();
    m_runStartNs = m_engine->timeNs();
    m_wall.restart();
    m_scene->update();
}

void VexaWindow::tick()
{
    if (!m_engine)
        return;
    // Never more than a few milliseconds of work per turn: the window keeps answering.
    QElapsedTimer budget;
    budget.start();
    bool ok = true;
    if (m_timedActive) {
        while (ok && m_engine->timeNs() < m_timedEndNs && budget.elapsed() < 8)
            ok = m_engine->runUntil(
                std::min(m_timedEndNs, m_engine->timeNs() + m_engine->sliceNs()));
    } else {
        std::uint64_t due = m_runStartNs + std::uint64_t(m_wall.nsecsElapsed());
        // A lag of more than a tenth of a second is dropped, not caught up.
        if (due > m_engine->timeNs() + 100000000) {
            m_runStartNs = m_engine->timeNs();
            m_wall.restart();
            due = m_engine->timeNs();
        }
        while (ok && m_engine->timeNs() < due && budget.elapsed() < 8) {
            const std::uint64_t before = m_engine->timeNs();
            ok = m_engine->runUntil(std::min(due, before + m_engine->sliceNs()));
            if (m_engine->timeNs() == before)
                break;
        }
    }
    if (!ok) {
        m_timer->stop();
        m_engine->halt();
        report(m_engine->error());
        if (m_timedActive)
            finishTimedRun(false);
    } else if (m_timedActive && m_engine->timeNs() >= m_timedEndNs) {
        m_timer->stop();
        m_engine->halt();
        finishTimedRun(true);
    } else if (m_timedActive && m_channel && m_aliveWall.elapsed() >= 1000) {
        // The IDE waits for the run's end; this tells it the run goes on.
        m_channel->sendNote(QStringLiteral("ALIVE"),
                            QString::number(double(m_engine->timeNs()) / 1e9, 'f', 6));
        m_aliveWall.restart();
    }
    // The status line changes a few times a second: laying it out on every turn would cost
    // more than the simulation.
    if (m_speedWall.elapsed() >= 250 || !isRunning()) {
        m_speed = double(m_engine->timeNs() - m_speedStartNs)
                  / double(std::max<qint64>(1, m_speedWall.nsecsElapsed()));
        m_speedWall.restart();
        m_speedStartNs = m_engine->timeNs();
        updateStatus();
    }
}

void VexaWindow::finishTimedRun(bool reachedEnd)
{
    m_timedActive = false;
    m_timedPending = false;
    const std::uint64_t now = simulatedNs();
    QString traceProblem;
    if (!m_trace.close(now, &traceProblem)) {
        // A run whose trace is cut short has not done what it was asked.
        report(traceProblem);
        reachedEnd = false;
    }
    if (m_channel) {
        if (reachedEnd)
            m_channel->sendNote(QStringLiteral("FINISHED"),
                                QString::number(double(now) / 1e9, 'f', 6));
        else
            m_channel->sendNote(QStringLiteral("ERROR"),
                                tr("The timed simulation did not reach its end."));
    }
}

void VexaWindow::pinChanged(const QString &pin, bool level, std::uint64_t timeNs)
{
    m_levels.insert(pin, level);
    m_trace.change(pin, level, timeNs);
    m_scene->update();
}

void VexaWindow::serialByte(char byte)
{
    m_terminal->moveCursor(QTextCursor::End);
    if (byte != '\r')
        m_terminal->insertPlainText(QString(QChar::fromLatin1(byte)));
    if (byte == '\n') {
        if (m_channel)
            m_channel->sendNote(QStringLiteral("UART"), QString::fromLatin1(m_serialLine));
        m_serialLine.clear();
    } else if (byte != '\r') {
        m_serialLine.append(byte);
    }
}

void VexaWindow::updateStatus()
{
    const double seconds = double(simulatedNs()) / 1e9;
    QString state = isRunning() ? tr("Running") : tr("Stopped");
    m_status->setText(tr("%1   %2 %3   Simulated time %4 s   Speed %5x real time")
                          .arg(state, m_handOff.device, m_handOff.clock)
                          .arg(seconds, 0, 'f', 6)
                          .arg(isRunning() ? m_speed : 0.0, 0, 'f', 2));
    m_runAction->setEnabled(!isRunning() && m_engine && m_engine->isLoaded());
    m_stopAction->setEnabled(isRunning());
    m_resetAction->setEnabled(m_engine && m_engine->isLoaded());
}

void VexaWindow::closeEvent(QCloseEvent *event)
{
    m_timer->stop();
    if (m_timedActive)
        finishTimedRun(false);
    event->accept();
}
