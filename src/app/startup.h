#pragma once

// The program's run from the command line to the exit code, guarded against crashes: a fatal
// signal writes "minidump.dmp", tells the user, rescues the open editor documents and ends
// the program with the exit code -1.
int runDyxStudio(int &argc, char **argv);
