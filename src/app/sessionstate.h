#pragma once

class SrcManager;

// What the main window keeps between runs: its layout, the open project and editor files and
// the recent lists, all under the settings store's group.
class SessionState
{
public:
    explicit SessionState(SrcManager &window);

    void save();
    void restore();

private:
    SrcManager &m_window;
};
