// The simulator's design files, and its firmware files (HEX, and the ELF files beside them).
#include "fuzzinput.h"

#include "firmware/elffile.h"
#include "firmware/hexfile.h"
#include "vexa/design.h"
#include "vexa/inlinecalls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        FuzzInput::initialize();
        return true;
    }();
    Q_UNUSED(ready);
    const QString path = FuzzInput::write(data, size, QStringLiteral("board.DSN"));
    Design design;
    QString error;
    bool isNew = false;
    if (design.load(path, &error, &isNew) && !isNew) {
        design.unknownPins({QStringLiteral("PB5")});
        design.save(path + QStringLiteral(".saved"), &error);
    }
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     int(size));
    HexImage::parse(bytes);
    InlineCalls::read(bytes);
    InlineCalls::hasSourceLines(bytes);
    elfSegments(bytes);
    return 0;
}
