// Backslash rewriting of path text.
#include "command/ZK_Paths.h"

void linuxSafePath(char* text) {
    for (char* c = text; *c != '\0'; ++c)
        if (*c == '\\')
            *c = '/';
}

void flipSlash(char* text) {
    linuxSafePath(text);
}

void ZK_AddDoubleSlash(const char* source, char* destination) {
    char* out = destination;
    for (const char* in = source; *in != '\0'; ++in) {
        if (*in == '\\')
            *out++ = '\\';
        *out++ = *in;
    }
    *out = '\0';
}
