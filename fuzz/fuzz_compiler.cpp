// Compiler configuration files.
#include "fuzzinput.h"

#include "toolchain/buildconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FakeMainServices *services = [] {
        FuzzInput::initialize();
        return new FakeMainServices;
    }();
    BuildConfig config(services);
    config.load(FuzzInput::write(data, size, QStringLiteral("compiler.xml")));
    services->lines.clear();
    return 0;
}
