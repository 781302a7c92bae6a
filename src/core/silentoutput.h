#pragma once

#include "outputsink.h"

// Output for where there is no output window: every line goes nowhere.
class SilentOutput : public OutputSink
{
public:
    static SilentOutput &instance()
    {
        static SilentOutput silent;
        return silent;
    }

    void clearOutput() override {}
    void message(const QString &) override {}
    void error(const QString &) override {}
    void success(const QString &) override {}
    void link(const QString &, int, int, const QString &) override {}
    void errorLink(const QString &, int, int, const QString &) override {}
    void richText(const QString &) override {}
};
