#pragma once

// Shows the wait cursor (or the busy arrow) for as long as it lives.
class BusyCursor
{
public:
    explicit BusyCursor(bool wait = true);
    ~BusyCursor();

    // Restores the cursor now; later calls and the destructor do nothing more.
    void restore();

private:
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

    bool m_restored = false;
};
