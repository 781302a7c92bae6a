#pragma once

#include <QProcessEnvironment>

// The environment of a program that the preloaded kill library ends at its N-th write to disk
// (a write to a regular file, a sync, a link or a rename); with step 0, one it leaves alone.
inline QProcessEnvironment killedAtStep(
    int step, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    if (step <= 0)
        return environment;
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(DYX_KILL_SHIM));
    environment.insert(QStringLiteral("DYX_KILL_AT"), QString::number(step));
    // A sanitized program wants its runtime first; the kill library comes before it.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS"))
                           + QStringLiteral(":verify_asan_link_order=0"));
    return environment;
}
