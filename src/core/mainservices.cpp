#include "mainservices.h"

#include "silentoutput.h"

OutputSink &outputOf(MainServices *mainWindow)
{
    return mainWindow ? mainWindow->output() : SilentOutput::instance();
}
