// The POSIX port's entry point: records the command line and hands over to
// WinMain, as the Windows start-up code does.
#include "platform/platform.h"

int main(int argc, char **argv) {
    RecordCommandLine(argc, argv);
    char noArguments[] = "";
    return WinMain(nullptr, nullptr, noArguments, 1);
}
