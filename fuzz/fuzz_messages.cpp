// Compiler messages: a message format (its pattern from a compiler configuration) and the
// lines a compiler writes, as the build turns them into links.
#include "fuzzinput.h"

#include "build/buildmessageparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        FuzzInput::initialize();
        return true;
    }();
    Q_UNUSED(ready);
    // The first line is a pattern, the second the positions of file, line and column; the
    // rest are the compiler's lines.
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))
                                  .split(QLatin1Char('\n'));
    MessageFormat format;
    format.value = lines.value(0);
    const QStringList positions = lines.value(1).split(QLatin1Char(' '));
    const char *names[] = {"FILENAME", "LINE", "COLUMN"};
    for (int i = 0; i < 3; ++i)
        format.fields.append({QString::fromLatin1(names[i]), positions.value(i).toInt(), i - 1});
    BuildMessageParser parser;
    parser.setFormats({format,
                       {QStringLiteral("^([^:]+):([0-9]+):([0-9]+): (.*)$"),
                        {{QStringLiteral("FILENAME"), 1, 0},
                         {QStringLiteral("LINE"), 2, 0},
                         {QStringLiteral("COLUMN"), 3, 0}}}});
    const auto resolve = [](const QString &name) { return name.size() % 2 ? name : QString(); };
    for (int i = 2; i < lines.size(); ++i) {
        BuildMessageParser::Position position;
        parser.parse(lines.at(i), resolve, position);
        parser.matchesAny(lines.at(i));
    }
    return 0;
}
