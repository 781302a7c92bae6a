#pragma once

#include "fakemainservices.h"

// The fake main window of tests of windows and editors, which read their display formats from
// the settings as in the program.
using FakeWindowServices = FakeMainServices;
