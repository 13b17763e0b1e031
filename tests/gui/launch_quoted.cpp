// Starts a program with the command line `"PATH" ` (the program path in
// double quotes, then one space), waits for it and returns its exit code.
// Shells start programs this way; the caption must still be the bare name.
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: launch_quoted PROGRAM\n");
        return 2;
    }
    char commandLine[MAX_PATH + 4];
    if (snprintf(commandLine, sizeof commandLine, "\"%s\" ", argv[1]) >=
        static_cast<int>(sizeof commandLine))
        return 2;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        fprintf(stderr, "CreateProcessA failed: %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 2;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
