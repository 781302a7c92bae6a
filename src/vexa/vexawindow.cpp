#include "vexawindow.h"

#include "channel/vexachannel.h"
#include "debuggerpanel.h"
#include "firmware/hexfile.h"
#include "platform/platformpaths.h"
#include "serialterminal.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QHash>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstdio>
#include <utility>

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
    std::function<void(const QString &partName)> adjust; // a voltage clicked

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
        QString label = m_part.type == QLatin1String("TERMINAL")
                            ? m_part.name + QLatin1String(" on ") + m_part.uart
                            : m_part.name + QLatin1String(" on ") + m_part.pin;
        if (m_part.type == QLatin1String("VOLTAGE"))
            label += QStringLiteral(": %1 V").arg(m_part.volts, 0, 'f', 2);
        if (m_part.type == QLatin1String("LED")) {
            const QColor on(m_part.colour.isEmpty() ? QStringLiteral("red") : m_part.colour);
            const bool lit = m_window->pinLevel(m_part.pin);
            painter->setBrush(lit ? on : on.darker(400));
            painter->drawEllipse(QRectF(4, 4, 32, 32));
        } else if (m_part.type == QLatin1String("BUTTON")) {
            painter->setBrush(m_pressed ? QColor(120, 120, 120) : QColor(200, 200, 200));
            painter->drawRoundedRect(QRectF(4, 4, 32, 32), 6, 6);
        } else if (m_part.type == QLatin1String("VOLTAGE")) {
            // A gauge filled as far as the voltage goes of the 5 V supply.
            painter->setBrush(QColor(250, 250, 235));
            painter->drawRect(QRectF(4, 4, 32, 32));
            painter->setBrush(QColor(230, 160, 40));
            const double share = std::clamp(m_part.volts / 5.0, 0.0, 1.0);
            painter->drawRect(QRectF(4, 36 - 32 * share, 32, 32 * share));
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
        if (!(flags() & ItemIsMovable) && m_part.type == QLatin1String("VOLTAGE") && adjust) {
            event->accept();
            adjust(m_part.name);
            return;
        }
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
    , m_terminalPort(new QComboBox)
    , m_messages(new QPlainTextEdit)
    , m_debugPanel(new DebuggerPanel)
    , m_status(new QLabel)
{
    setWindowTitle(tr("VEXA"));
    setObjectName(QStringLiteral("VexaWindow"));
    resize(960, 760);
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
    tools->addAction(tr("Add Voltage..."), this, [this] { addPart(QStringLiteral("VOLTAGE")); });
    QAction *remove = tools->addAction(tr("Remove"), this, &VexaWindow::removeSelectedParts);
    remove->setShortcut(QKeySequence::Delete);
    m_arrangeAction = tools->addAction(tr("Arrange"));
    m_arrangeAction->setCheckable(true);
    connect(m_arrangeAction, &QAction::toggled, this, [this](bool on) {
        for (BoardItem *item : std::as_const(m_items))
            item->setArranging(on);
        if (!on)
            showDesignChanged();
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
    m_serialTerminal = new SerialTerminal(*m_terminal, this);
    m_terminal->setFont(QFont(QStringLiteral("Monospace")));
    m_terminalInput->setObjectName(QStringLiteral("terminalInput"));
    m_terminalInput->setPlaceholderText(tr("Type and press Enter to send to the serial port"));
    m_terminalPort->setObjectName(QStringLiteral("terminalPort"));
    m_terminalPort->setToolTip(tr("The serial port typed text goes to"));
    auto *inputLayout = new QHBoxLayout;
    inputLayout->addWidget(m_terminalInput, 1);
    inputLayout->addWidget(m_terminalPort);
    terminalLayout->addWidget(m_terminal);
    terminalLayout->addLayout(inputLayout);
    terminalDock->setWidget(terminalWidget);
    addDockWidget(Qt::BottomDockWidgetArea, terminalDock);
    connect(m_terminalInput, &QLineEdit::returnPressed, this, [this] {
        Engine *engine = m_run.engine();
        if (!engine || !engine->canReceiveSerial()) {
            report(tr("This controller's serial port takes no input in this simulator."));
            return;
        }
        const int port = std::max(0, m_terminalPort->currentIndex());
        // As the terminal reads what the firmware writes: UTF-8.
        for (const char c : m_terminalInput->text().toUtf8() + '\r')
            engine->sendSerial(port, c);
        m_terminalInput->clear();
    });

    auto *messagesDock = new QDockWidget(tr("Messages"), this);
    messagesDock->setObjectName(QStringLiteral("messagesDock"));
    m_messages->setReadOnly(true);
    m_messages->setObjectName(QStringLiteral("messages"));
    messagesDock->setWidget(m_messages);
    addDockWidget(Qt::BottomDockWidgetArea, messagesDock);
    tabifyDockWidget(terminalDock, messagesDock);
    auto *debugDock = new QDockWidget(tr("Debugger"), this);
    debugDock->setObjectName(QStringLiteral("debugDock"));
    m_debugPanel->setObjectName(QStringLiteral("debuggerPanel"));
    debugDock->setWidget(m_debugPanel);
    addDockWidget(Qt::BottomDockWidgetArea, debugDock);
    tabifyDockWidget(messagesDock, debugDock);
    terminalDock->raise();
    // The board keeps the larger part of the window: the docks would take the height the
    // debugger's views ask for, leaving a strip of the board.
    m_view->setMinimumHeight(200);
    resizeDocks({terminalDock}, {340}, Qt::Vertical);

    statusBar()->addWidget(m_status, 1);
    connect(&m_run, &SimulationRun::pinChanged, m_scene, [this] { m_scene->update(); });
    connect(&m_run, &SimulationRun::serialText, m_serialTerminal, &SerialTerminal::append);
    // The first port's lines are "UART" lines, the others' carry their port's name.
    connect(&m_run, &SimulationRun::serialLine, this, [this](int port, const QString &line) {
        if (m_channel)
            m_channel->sendNote(port == 0 ? QStringLiteral("UART") : m_serialPorts.value(port),
                                line);
    });
    connect(&m_run, &SimulationRun::problem, this, &VexaWindow::report);
    connect(&m_run, &SimulationRun::notice, this, &VexaWindow::inform);
    connect(&m_run, &SimulationRun::timedRunEnded, this, &VexaWindow::timedRunEnded);
    connect(&m_run, &SimulationRun::alive, this, [this](std::uint64_t timeNs) {
        if (m_channel)
            m_channel->sendNote(QStringLiteral("ALIVE"),
                                QString::number(double(timeNs) / 1e9, 'f', 6));
    });
    connect(&m_run, &SimulationRun::firmwareEnded, this, [this](std::uint64_t timeNs) {
        const QString seconds = QString::number(double(timeNs) / 1e9, 'f', 6);
        m_messages->appendPlainText(tr("The firmware ended the run at %1 s.").arg(seconds));
        if (m_channel)
            m_channel->sendNote(QStringLiteral("ENDED"), seconds);
    });
    connect(&m_run, &SimulationRun::stateChanged, this, &VexaWindow::updateStatus);
    updateStatus();
    if (!m_handOffPath.isEmpty())
        reloadHandOff();
    else
        report(tr("No hand-off file was given (/P:file)."));
}

VexaWindow::~VexaWindow() = default;

QString VexaWindow::terminalText() const
{
    m_serialTerminal->flush();
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
        // The IDE's debugging ends with its Stop (or starts again on the hand-off that
        // follows): the Debugger panel shows where the firmware stopped, the IDE marks no stop
        // and drops the mark of one it has.
        if (m_debugger && m_debugger->isPaused())
            tellIde(false);
        m_stopByIde = m_debugger && !m_debugger->isPaused();
        stop();
        return 1;
    case VexaChannel::CloseProgram:
        // After the answer has gone out. The IDE goes on at once (it may start this program
        // again on another design): a question here would hold it up, so changes are saved.
        QTimer::singleShot(0, this, &VexaWindow::closeUnasked);
        return 1;
    case VexaChannel::ReloadHandOff:
        reloadHandOff();
        return 1;
    default:
        return 0;
    }
}

void VexaWindow::reloadHandOff()
{
    endDebugger();
    stop();
    QString error;
    HandOff handOff;
    if (!HandOff::read(m_handOffPath, &handOff, &error)) {
        report(error);
        return;
    }
    // Changes to the design shown go on when the file named now is the one they were made to,
    // or a copy of it, or it under a new name (the project saved elsewhere, or the file
    // renamed); otherwise they are saved where they belong before the other design is read.
    const bool changed = designChanged();
    const bool goesOn = changed && holdsShownDesign(handOff.designFile);
    if (changed && !goesOn)
        saveDesignUnasked();
    m_handOff = handOff;
    setWindowTitle(tr("VEXA - %1[*]").arg(QFileInfo(handOff.designFile).fileName()));
    const bool loaded = m_run.load(handOff);
    if (goesOn)
        showDesign();
    else
        loadDesign(handOff.designFile, handOff.family);
    if (loaded)
        applyVoltages();
    m_serialTerminal->clear();
    showSerialPorts();
    updateStatus();
    if (loaded && m_run.isTimedRunPending())
        run();
    else if (loaded)
        attachDebugger(handOff.autorun);
    else if (m_run.isTimedRunPending() && handOff.autorun)
        m_run.abandonTimedRun();
}

void VexaWindow::loadDesign(const QString &path, const QString &family)
{
    const QStringList pins = m_run.isLoaded() ? m_run.engine()->pins() : QStringList();
    QString error;
    bool isNew = false;
    m_designUsable = false;
    m_newBehindLink = false;
    if (path.isEmpty()) {
        report(tr("The hand-off names no design file."));
        m_design = Design();
    } else if (!m_design.load(path, &error, &isNew)) {
        report(error);
        m_design = Design();
    } else {
        m_designUsable = true;
        m_savedForm = m_design.toXml();
        if (isNew || m_handOff.newDesign) {
            m_design.controller = m_handOff.device;
            m_design.fillDefault(family,
                                 pins,
                                 m_run.engine() ? m_run.engine()->serialPorts().value(0)
                                                : QString());
            // Written at once, but not through a link of the design's name: an archive can
            // bring one to an empty file of the user's. Only Save Design writes it there;
            // saves nobody asked for keep it in a copy.
            m_newBehindLink = QFileInfo(path).isSymLink();
            if (!m_newBehindLink)
                saveDesign();
            rebuildBoard();
            showDesignChanged();
            return;
        }
    }
    showDesign();
}

void VexaWindow::showDesign()
{
    const QStringList pins = m_run.isLoaded() ? m_run.engine()->pins() : QStringList();
    if (m_designUsable && !pins.isEmpty()) {
        const QStringList unknown = m_design.unknownPins(
            pins + (m_run.engine() ? m_run.engine()->analogInputs() : QStringList()));
        if (!unknown.isEmpty()) {
            report(tr("The design names pins the %1 lacks: %2")
                       .arg(m_handOff.device, unknown.join(QLatin1String(", "))));
        }
    }
    rebuildBoard();
    showDesignChanged();
}

bool VexaWindow::designChanged()
{
    if (!m_designUsable)
        return false;
    partsMoved();
    return m_design.toXml() != m_savedForm;
}

void VexaWindow::showDesignChanged()
{
    setWindowModified(designChanged());
}

bool VexaWindow::holdsShownDesign(const QString &path) const
{
    if (!m_designUsable || path.isEmpty())
        return false;
    if (QFileInfo(path).absoluteFilePath() == QFileInfo(m_handOff.designFile).absoluteFilePath())
        return true;
    Design named;
    QString error;
    bool isNew = false;
    return named.load(path, &error, &isNew) && !isNew && named.toXml() == m_savedForm;
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
    m_savedForm = m_design.toXml();
    m_newBehindLink = false;
    setWindowModified(false);
    m_messages->appendPlainText(tr("Saved %1").arg(m_handOff.designFile));
    return true;
}

void VexaWindow::keepDesign()
{
    if (designChanged())
        saveDesignUnasked();
}

void VexaWindow::keepDesignAtExit()
{
    if (!designChanged() || m_handOff.designFile.isEmpty())
        return;
    if (m_design.controller.isEmpty())
        m_design.controller = m_handOff.device;
    QString error;
    if ((m_newBehindLink || !m_design.save(m_handOff.designFile, &error))
        && keptDesignCopy().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(designLost()));
}

QString VexaWindow::designLost() const
{
    return tr("The changes to %1 are lost: they could not be kept in %2 either.")
        .arg(QFileInfo(m_handOff.designFile).fileName(),
             QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                 + QStringLiteral("/unsaved designs"));
}

QString VexaWindow::keptDesignCopy() const
{
    const QString kept = Platform::keptCopyPath(QStringLiteral("unsaved designs"),
                                                QFileInfo(m_handOff.designFile).fileName());
    QString error;
    return !kept.isEmpty() && m_design.save(kept, &error) ? kept : QString();
}

void VexaWindow::saveDesignUnasked()
{
    if ((!m_newBehindLink && saveDesign()) || !m_designUsable)
        return;
    const QString own = QFileInfo(m_handOff.designFile).fileName();
    const QString kept = keptDesignCopy();
    if (kept.isEmpty()) {
        report(designLost());
        return;
    }
    report(tr("The changes to %1 are kept in %2.").arg(own, kept));
}

void VexaWindow::rebuildBoard()
{
    m_scene->clear();
    m_items.clear();
    const QStringList pins = m_run.isLoaded() ? m_run.engine()->pins() : QStringList();
    DesignPart controller;
    controller.type = QStringLiteral("CONTROLLER");
    controller.name = m_handOff.device;
    auto *chip = new BoardItem(this, controller, pins);
    m_scene->addItem(chip);
    for (const DesignPart &part : std::as_const(m_design.parts)) {
        auto *item = new BoardItem(this, part, {});
        item->drive = [this](const QString &pin, bool level) {
            Engine *engine = m_run.engine();
            if (!engine || !engine->canDriveInputs()) {
                report(tr("This controller's pins take no input in this simulator."));
                return;
            }
            engine->setInput(pin, level);
        };
        item->adjust = [this](const QString &partName) { adjustVoltage(partName); };
        // A button's pull-up holds its pin high until it is pressed.
        if (part.type == QLatin1String("BUTTON") && m_run.isLoaded()
            && m_run.engine()->canDriveInputs())
            m_run.engine()->setInput(part.pin, true);
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
    const bool voltage = type == QLatin1String("VOLTAGE");
    const QStringList pins = !m_run.isLoaded() ? QStringList()
                             : voltage         ? m_run.engine()->analogInputs()
                                               : m_run.engine()->pins();
    if (pins.isEmpty()) {
        report(voltage && m_run.isLoaded()
                   ? tr("The %1 has no analog input in this simulator.").arg(m_handOff.device)
                   : tr("Load a firmware first: the controller's pins are not known."));
        return;
    }
    bool ok = false;
    const QString pin = QInputDialog::getItem(this,
                                              tr("Add Part"),
                                              voltage ? tr("Analog input:") : tr("Pin:"),
                                              pins,
                                              0,
                                              false,
                                              &ok);
    if (!ok)
        return;
    partsMoved();
    DesignPart part;
    part.type = type;
    part.name = m_design.uniqueName(type == QLatin1String("LED") ? QStringLiteral("D")
                                    : voltage                    ? QStringLiteral("V")
                                                                 : QStringLiteral("S"));
    part.pin = pin;
    part.colour = type == QLatin1String("LED") ? QStringLiteral("red") : QString();
    part.place = QPointF(560, 40 + 50 * m_design.parts.size());
    m_design.parts.append(part);
    rebuildBoard();
    showDesignChanged();
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
    showDesignChanged();
}

void VexaWindow::applyVoltages()
{
    Engine *engine = m_run.engine();
    for (const DesignPart &part : std::as_const(m_design.parts)) {
        if (part.type != QLatin1String("VOLTAGE"))
            continue;
        if (!engine || !engine->analogInputs().contains(part.pin)) {
            report(tr("The %1 has no analog input %2 in this simulator: %3 gives it nothing.")
                       .arg(m_handOff.device, part.pin, part.name));
            continue;
        }
        engine->setAnalogInput(part.pin, part.volts);
    }
}

void VexaWindow::adjustVoltage(const QString &partName)
{
    partsMoved();
    for (DesignPart &part : m_design.parts) {
        if (part.name != partName)
            continue;
        bool ok = false;
        const double volts
            = QInputDialog::getDouble(this,
                                      tr("Voltage"),
                                      tr("%1 on %2, in volts:").arg(part.name, part.pin),
                                      part.volts,
                                      0.0,
                                      5.0,
                                      2,
                                      &ok);
        if (!ok)
            return;
        part.volts = volts;
        if (Engine *engine = m_run.engine(); engine && engine->analogInputs().contains(part.pin))
            engine->setAnalogInput(part.pin, volts);
        rebuildBoard();
        showDesignChanged();
        return;
    }
}

void VexaWindow::showSerialPorts()
{
    m_serialPorts = m_run.isLoaded() ? m_run.engine()->serialPorts() : QStringList();
    m_terminalPort->clear();
    m_terminalPort->addItems(m_serialPorts);
    m_terminalPort->setVisible(m_serialPorts.size() > 1);
    m_serialTerminal->setPorts(m_serialPorts);
}

void VexaWindow::resetController()
{
    // What a debugger knows of the firmware (where it stands, its registers) holds no longer:
    // it starts again with the firmware, held at the start when it was paused, else running.
    const bool debugging = m_debugger != nullptr;
    const bool running = isRunning();
    const bool ideKnewStop = m_ideKnowsStop;
    if (debugging) {
        endDebugger();
        stop();
    }
    m_run.reset();
    m_scene->update();
    m_tellHeldStart = debugging && !running && ideKnewStop;
    if (debugging)
        attachDebugger(running);
    updateStatus();
}

void VexaWindow::timedRunEnded(bool reachedEnd, std::uint64_t timeNs)
{
    if (!m_channel)
        return;
    if (reachedEnd)
        m_channel->sendNote(QStringLiteral("FINISHED"),
                            QString::number(double(timeNs) / 1e9, 'f', 6));
    else
        m_channel->sendNote(QStringLiteral("ERROR"),
                            tr("The timed simulation did not reach its end."));
}

void VexaWindow::updateStatus()
{
    const double seconds = double(simulatedNs()) / 1e9;
    QString state = isRunning()                            ? tr("Running")
                    : m_debugger && m_debugger->isPaused() ? tr("Paused")
                                                           : tr("Stopped");
    m_status->setText(tr("%1   %2 %3   Simulated time %4 s   Speed %5x real time")
                          .arg(state, m_handOff.device, m_handOff.clock)
                          .arg(seconds, 0, 'f', 6)
                          .arg(m_run.speed(), 0, 'f', 2));
    m_runAction->setEnabled(!isRunning() && m_run.isLoaded());
    m_stopAction->setEnabled(isRunning());
    m_resetAction->setEnabled(m_run.isLoaded());
}

void VexaWindow::closeEvent(QCloseEvent *event)
{
    if (designChanged()) {
        if (!m_askBeforeClosing) {
            saveDesignUnasked();
        } else {
            const QMessageBox::StandardButton answer = QMessageBox::question(
                this,
                tr("VEXA"),
                tr("The design %1 has changes that are not saved.\nSave them?")
                    .arg(QFileInfo(m_handOff.designFile).fileName()),
                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                QMessageBox::Save);
            // Closed without a question meanwhile (the program ending): done.
            if (!m_askBeforeClosing)
                return;
            if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !saveDesign())) {
                event->ignore();
                return;
            }
        }
    }
    endDebugger();
    m_run.stop();
    event->accept();
}

void VexaWindow::inform(const QString &text)
{
    m_messages->appendPlainText(text);
    if (m_channel)
        m_channel->sendNote(QStringLiteral("INFO"), text);
}

void VexaWindow::run()
{
    m_stopByIde = false;
    // A timed run goes flat out, without the debugger's stops.
    if (m_run.isTimedRunPending())
        endDebugger();
    if (!m_debugger) {
        m_run.start();
        return;
    }
    if (m_debugger->isPaused())
        m_debugger->resume();
    else if (!m_run.isRunning())
        m_resumeWhenPaused = true; // stopped, or still starting: the pause is on its way
}

void VexaWindow::stop()
{
    // At once; a debugger attached learns of it and shows where the firmware stopped.
    m_resumeWhenPaused = false;
    m_run.stop();
}

void VexaWindow::setBreakpoints(const QList<SourceBreakpoint> &breakpoints)
{
    m_breakpoints = breakpoints;
    // After the IDE's request has its answer, as the debugging commands.
    QTimer::singleShot(0, this, [this] {
        if (m_debugger)
            m_debugger->setBreakpoints(m_breakpoints);
    });
}

bool VexaWindow::debugCommand(const QString &command, const QString &argument)
{
    static const QHash<QString, void (SourceDebugger::*)()> commands{
        {QStringLiteral("continue"), &SourceDebugger::resume},
        {QStringLiteral("pause"), &SourceDebugger::pause},
        {QStringLiteral("into"), &SourceDebugger::stepInto},
        {QStringLiteral("over"), &SourceDebugger::stepOver},
        {QStringLiteral("out"), &SourceDebugger::stepOut},
    };
    if (!m_debugger || (!commands.contains(command) && command != QLatin1String("to")))
        return false;
    m_stopByIde = false;
    // After the answer: a step of a slow engine takes a while, and the IDE waits for the
    // answer alone.
    QTimer::singleShot(0, this, [this, command, argument] {
        if (!m_debugger)
            return;
        // Paused already (by the IDE's Stop, or here): the IDE is told where.
        if (command == QLatin1String("pause") && m_debugger->isPaused()) {
            tellIde(true);
            return;
        }
        if (command == QLatin1String("to"))
            m_debugger->runTo(argument.section(QLatin1Char(' '), 1),
                              argument.section(QLatin1Char(' '), 0, 0).toInt());
        else
            (m_debugger.get()->*commands.value(command))();
    });
    return true;
}

void VexaWindow::attachDebugger(bool run)
{
    m_debugger = SourceDebugger::forFamily(m_handOff.family, m_run);
    if (!m_debugger) {
        if (!m_breakpoints.isEmpty())
            inform(tr("Breakpoints and stepping are not available for the %1 family: the "
                      "firmware runs without them.")
                       .arg(m_handOff.family));
        if (run)
            m_run.start();
        return;
    }
    // Heard from before it starts: a debugger that reads the firmware itself holds it at its
    // start, or says what it cannot do, while it starts.
    connect(m_debugger.get(), &SourceDebugger::stopped, this, &VexaWindow::debuggerStopped);
    connect(m_debugger.get(), &SourceDebugger::message, this, &VexaWindow::inform);
    connect(m_debugger.get(),
            &SourceDebugger::stateChanged,
            this,
            [this](SourceDebugger::State state) {
                // The IDE's mark of where the firmware stopped goes.
                if (state == SourceDebugger::State::Running
                    || state == SourceDebugger::State::Ended) {
                    m_ranSinceStop = state == SourceDebugger::State::Running;
                    tellIde(false);
                }
                updateStatus();
            });
    m_debugPanel->setDebugger(m_debugger.get());
    QString why;
    if (!m_debugger->start(m_handOff.program, m_breakpoints, run, &why)) {
        m_debugPanel->setDebugger(nullptr);
        m_debugger.reset();
        inform(why + QLatin1Char(' ') + tr("The firmware runs without breakpoints or stepping."));
        if (run)
            m_run.start();
    }
}

void VexaWindow::endDebugger()
{
    m_resumeWhenPaused = false;
    m_stopByIde = false;
    m_tellHeldStart = false;
    m_ranSinceStop = false;
    m_debugPanel->setDebugger(nullptr);
    const bool wasPaused = m_debugger && m_debugger->isPaused();
    m_debugger.reset();
    if (wasPaused)
        tellIde(false);
}

void VexaWindow::tellIde(bool stopped)
{
    if (!m_channel)
        return;
    m_ideKnowsStop = stopped;
    if (stopped)
        m_channel->sendNote(QStringLiteral("STOPPED"), m_stoppedAt);
    else
        m_channel->sendNote(QStringLiteral("RUNNING"), QString());
}

void VexaWindow::debuggerStopped(const DebugStop &stop)
{
    if (!stop.again && std::exchange(m_resumeWhenPaused, false) && m_debugger
        && m_debugger->isPaused()) {
        m_debugger->resume();
        return;
    }
    if (auto *dock = findChild<QDockWidget *>(QStringLiteral("debugDock")))
        dock->raise();
    m_scene->update();
    updateStatus();
    // Held at its start once attached is no stop the IDE marks: its F5 and F10 keep opening
    // and starting (unless held again by a Reset while paused). Nor is a stop asked for
    // again, which the IDE has marked already (unless it ran meanwhile: a refused command),
    // nor the one its Stop made.
    m_stoppedAt = QStringLiteral("%1 %2").arg(stop.where.line).arg(stop.where.file);
    const bool byIde = !stop.again && std::exchange(m_stopByIde, false);
    const bool held = stop.reason == QLatin1String("attached");
    const bool heldByReset = held && std::exchange(m_tellHeldStart, false);
    const bool shownAfterRun = stop.again && m_ranSinceStop;
    m_ranSinceStop = false;
    if (heldByReset || (!held && ((!stop.again && !byIde) || shownAfterRun)))
        tellIde(true);
}
