// A stand-in compiler for the tests: what it does is chosen by its one argument.
//   --print=TEXT    prints TEXT and exits 0
//   --exit=N        exits with code N
//   --hang          sleeps until killed
//   --stubborn      ignores the polite request to end, then sleeps
//   --crash         dies of a segmentation fault
//   --flood=TEXT    prints TEXT, then 64 MiB more, and exits 0
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *arg = argc > 1 ? argv[1] : "";
    if (std::strncmp(arg, "--print=", 8) == 0) {
        std::printf("%s\n", arg + 8);
        return 0;
    }
    if (std::strncmp(arg, "--flood=", 8) == 0) {
        std::printf("%s\n", arg + 8);
        static char block[65536];
        std::memset(block, 'x', sizeof block);
        for (int i = 0; i < 1024; ++i)
            std::fwrite(block, 1, sizeof block, stdout);
        return 0;
    }
    if (std::strncmp(arg, "--exit=", 7) == 0)
        return std::atoi(arg + 7);
    if (std::strcmp(arg, "--stubborn") == 0)
        std::signal(SIGTERM, SIG_IGN);
    if (std::strcmp(arg, "--hang") == 0 || std::strcmp(arg, "--stubborn") == 0) {
        for (;;)
            pause();
    }
    if (std::strcmp(arg, "--crash") == 0) {
        // A real crash, also under the address sanitizer, which would report and exit instead.
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
    }
    return 0;
}
