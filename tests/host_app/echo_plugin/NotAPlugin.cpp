// A library without XSILoadPlugin: the host must pass over it without
// loading it. Loading it would run its constructor, which makes the file
// that ZK_NOT_A_PLUGIN_RAN names.
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) int NotAPluginValue() {
    return 42;
}

__attribute__((constructor)) static void Ran() {
    if (const char* mark = std::getenv("ZK_NOT_A_PLUGIN_RAN")) {
        const int fd = open(mark, O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            close(fd);
        }
    }
}
