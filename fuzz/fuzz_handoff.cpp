// The hand-off file the simulator reads.
#include "fuzzinput.h"

#include "vexa/engine.h"
#include "vexa/handoff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        FuzzInput::initialize();
        return true;
    }();
    Q_UNUSED(ready);
    HandOff handOff;
    QString error;
    if (HandOff::read(FuzzInput::write(data, size, QStringLiteral("tandel.ini")), &handOff, &error)) {
        Engine::parseClock(handOff.clock);
        Engine::forFamily(handOff.family);
    }
    return 0;
}
