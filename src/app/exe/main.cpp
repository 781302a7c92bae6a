#include "app/startup.h"

int main(int argc, char **argv)
{
    return runDyxStudio(argc, argv);
}
