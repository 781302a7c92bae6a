// Syntax definition files, and the scan that styles text by them: the input's first line is
// the text to style, the rest the syntax file.
#include "fuzzinput.h"

#include "editor/syntaxrules.h"
#include "editor/syntaxscanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = (FuzzInput::initialize(), true);
    (void) ready;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\n');
    const QString text = QString::fromLatin1(split < 0 ? input : input.left(split));
    SyntaxRules rules;
    rules.load(FuzzInput::write(data, size, QStringLiteral("fuzz.SYN")), Qt::CaseInsensitive);
    SyntaxScanner(rules).styleAll(text);
    return 0;
}
