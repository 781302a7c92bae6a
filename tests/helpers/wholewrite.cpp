// Writes a file with the program's own writer: wholewrite <file> <text>. Exit code 0 when
// the writer reports the file written, 1 otherwise.
#include "platform/wholefilewriter.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return 2;
    return Platform::writeWholeFile(arguments.at(1), arguments.at(2).toUtf8()) ? 0 : 1;
}
