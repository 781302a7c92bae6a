// The debugging files of a build that the simulator's debugger reads beside the firmware: the PIC
// assembler's symbol file and map, and the 8051 C compiler's debugging file and linked listings.
#include "fuzzinput.h"

#include "vexa/linetable.h"
#include "vexa/mcsdebugger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = (FuzzInput::initialize(), true);
    (void) ready;
    const QStringList folders{QStringLiteral("/nonexistent"), QStringLiteral(".")};
    QString error;
    LineTable cod;
    cod.readCod(FuzzInput::write(data, size, QStringLiteral("x.cod")), folders, &error);
    cod.readMap(FuzzInput::write(data, size, QStringLiteral("x.map")));
    // A value's bytes, read as the types the files give, and as the input taken for a type.
    const QByteArray value(reinterpret_cast<const char *>(data),
                           qsizetype(std::min<size_t>(size, 9)));
    McsDebugger::valueText(value,
                           QString::fromLatin1(reinterpret_cast<const char *>(data),
                                               qsizetype(size)));
    LineTable cdb;
    // Bit variables of a module "x" (or global ones) are placed by its linked listing.
    FuzzInput::write(data, size, QStringLiteral("x.rst"));
    cdb.readCdb(FuzzInput::write(data, size, QStringLiteral("x.cdb")), folders, &error);
    for (LineTable *table : {&cod, &cdb}) {
        table->finish();
        for (const LineTable::Line &line : table->lines().mid(0, 8)) {
            table->codeAt(line.file, line.line);
            table->lineAt(line.address);
            table->functionAt(line.address);
            if (const auto function = table->functionOf(line.address)) {
                for (const LineTable::Symbol &local : table->locals(function->name))
                    McsDebugger::valueText(value, local.type);
            }
        }
        table->codeAt(QStringLiteral("main.c"), 3);
        table->lineAt(0);
        table->symbol(QStringLiteral("_main"));
    }
    return 0;
}
