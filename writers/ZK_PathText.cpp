// The path text helpers: backslashes turned into forward slashes, or doubled.
#include "command/ZK_Paths.h"

void linuxSafePath(char* text) {
    for (; *text; ++text)
        if (*text == '\\')
            *text = '/';
}

void flipSlash(char* text) {
    linuxSafePath(text);
}

void ZK_AddDoubleSlash(const char* source, char* destination) {
    for (; *source; ++source) {
        if (*source == '\\')
            *destination++ = '\\';
        *destination++ = *source;
    }
    *destination = '\0';
}
