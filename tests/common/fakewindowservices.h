#pragma once

#include "fakemainservices.h"

#include "editor/ui/storeddisplayformats.h"

// The fake main window for tests of windows and editors: display formats come from the
// settings, as in the program.
class FakeWindowServices : public FakeMainServices
{
public:
    FakeWindowServices() { displayFormats = &m_storedFormats; }

private:
    StoredDisplayFormats m_storedFormats{settingsStore()};
};
