#pragma once

#include "design.h"
#include "engine.h"
#include "handoff.h"
#include "vcdwriter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>

#include <memory>

class QAction;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class VexaChannelServer;
class BoardItem;

// The simulator's window: the design with the controller's pins, LEDs and buttons, a serial
// terminal, and the controls of the run. It runs the firmware in real time, or, for a timed
// run asked for by the IDE, as fast as the engine can for a given simulated time.
class VexaWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit VexaWindow(const QString &handOffPath, QWidget *parent = nullptr);
    ~VexaWindow() override;

    // Answers the IDE's numbered commands.
    int command(int code);
    void setChannel(VexaChannelServer *channel) { m_channel = channel; }
    // Reads the hand-off file again: the design, the firmware, and whether to run at once.
    void reloadHandOff();
    void setTimedRun(double seconds, const QString &traceFile);

    void run();
    void stop();
    void resetController();
    bool isRunning() const;
    std::uint64_t simulatedNs() const { return m_engine ? m_engine->timeNs() : 0; }
    QString terminalText() const;
    bool pinLevel(const QString &pin) const { return m_levels.value(pin); }
    // Shows a problem in the messages, on the error output and to the IDE.
    void report(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void tick();
    void loadDesign(const QString &path, const QString &family);
    bool saveDesign();
    void rebuildBoard();
    void pinChanged(const QString &pin, bool level, std::uint64_t timeNs);
    void serialByte(char byte);
    void finishTimedRun(bool reachedEnd);
    void updateStatus();
    void addPart(const QString &type);
    void removeSelectedParts();
    void partsMoved();

    QString m_handOffPath;
    HandOff m_handOff;
    Design m_design;
    bool m_designUsable = false; // false when the file could not be read: never saved over
    std::unique_ptr<Engine> m_engine;
    QString m_engineFamily;
    VexaChannelServer *m_channel = nullptr;
    QGraphicsScene *m_scene;
    QGraphicsView *m_view;
    QList<BoardItem *> m_items;
    QPlainTextEdit *m_terminal;
    QLineEdit *m_terminalInput;
    QPlainTextEdit *m_messages;
    QLabel *m_status;
    QAction *m_runAction;
    QAction *m_stopAction;
    QAction *m_resetAction;
    QAction *m_arrangeAction;
    QTimer *m_timer;
    QHash<QString, bool> m_levels;
    QByteArray m_serialLine;
    VcdWriter m_trace;
    // Pacing: simulated time against the wall clock since the run began.
    QElapsedTimer m_wall;
    QElapsedTimer m_aliveWall;
    std::uint64_t m_runStartNs = 0;
    QElapsedTimer m_speedWall;
    std::uint64_t m_speedStartNs = 0;
    double m_speed = 0;
    // A timed run: as fast as possible up to its end, then reported.
    double m_timedSeconds = 0;
    QString m_traceFile;
    bool m_timedPending = false;
    bool m_timedActive = false;
    std::uint64_t m_timedEndNs = 0;
};
