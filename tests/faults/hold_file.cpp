// Holds a file open without sharing, as an editor or scanner might, until
// its standard input closes. Prints "held" once the file is held.
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: hold_file PATH\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    while (getchar() != EOF) {
    }
    CloseHandle(file);
    return 0;
}
