// The registry stand-in: an INI file read for the simulator's and the compilers' installation
// keys.
#include "fuzzinput.h"

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        FuzzInput::initialize();
        return true;
    }();
    Q_UNUSED(ready);
    const QString path = FuzzInput::write(data, size, QStringLiteral("registry.ini"));
    const IniRegistry registry(path);
    for (const QString &key :
         {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvellan Electronics"),
          QStringLiteral("HKEY_CURRENT_USER\\Software"),
          QStringLiteral("")}) {
        for (const QString &subkey : registry.subkeys(key)) {
            const QString below = key + QLatin1Char('\\') + subkey;
            for (const QString &name : registry.valueNames(below))
                registry.value(below, name);
            registry.subkeys(below);
        }
        for (const QString &name : registry.valueNames(key))
            registry.value(key, name);
    }
    return 0;
}
