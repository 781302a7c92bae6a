#include "mainservices.h"

#include "silentservices.h"

MainServices &servicesOf(MainServices *mainWindow)
{
    return mainWindow ? *mainWindow : SilentServices::instance();
}
