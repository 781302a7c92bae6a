// Family map files.
#include "fuzzinput.h"

#include "editor/syntaxmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = (FuzzInput::initialize(), true);
    (void) ready;
    const QString map = FuzzInput::write(data, size, QStringLiteral("FUZZ.MAP"));
    for (const char *file : {"x.asm", "x.S", "x.inc", "x"})
        SyntaxMap::syntaxFileFor(map, QLatin1String(file));
    return 0;
}
