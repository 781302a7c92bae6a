#pragma once

#include <functional>

class QObject;

namespace Platform {

// Runs then in the event loop when the process is asked to end: SIGTERM (the session or the
// system ending, or the program that started this one), SIGHUP (its terminal closed) or SIGINT
// (Ctrl+C). The signal itself only wakes the loop. then lives as long as context.
void onQuitSignals(QObject *context, std::function<void()> then);

} // namespace Platform
