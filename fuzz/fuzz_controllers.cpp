// The simulator's controller lists.
#include "fuzzinput.h"

#include "simulator/simulatedcontrollers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FakeMainServices *services = [] {
        FuzzInput::initialize();
        return new FakeMainServices;
    }();
    SimulatedControllers controllers(services);
    controllers.loadFile(FuzzInput::write(data, size, QStringLiteral("controllers.xml")));
    services->lines.clear();
    return 0;
}
