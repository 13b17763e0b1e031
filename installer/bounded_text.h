// Text composition into fixed buffers that never truncates: a text either
// fits whole or the buffer is left as it was and the caller is told.
#pragma once

#include <stddef.h>
#include <string.h>

// Writes `text` at `destination`, which has room for `capacity` bytes.
inline bool PutText(char *destination, size_t capacity, const char *text) {
    size_t length = strlen(text);
    if (length >= capacity)
        return false;
    memcpy(destination, text, length + 1);
    return true;
}

// Appends `text` to the zero-terminated text in `buffer` of `capacity` bytes.
inline bool AppendText(char *buffer, size_t capacity, const char *text) {
    size_t used = strlen(buffer);
    return PutText(buffer + used, capacity - used, text);
}
