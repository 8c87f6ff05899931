// A library preloaded into xsihost (LD_PRELOAD) that makes one file
// operation fail, to see what a bake does when the disk refuses it.
//
// Counted are the operations on paths that begin with ZK_FAULT_DIR: each
// fopen, the first write to each stream opened there (fwrite, fputs, fputc,
// putc, fprintf and their kin), each fclose of such a stream and each mkdir.
// The operation numbered ZK_FAULT_AT (from 1) fails as a full disk would:
//   open   fopen returns no stream (ENOSPC);
//   write  that write and every later one to the stream fail and set the
//          stream's error flag (ENOSPC);
//   close  the stream is closed, and fclose reports EOF (EIO);
//   mkdir  no folder is made (ENOSPC).
// Every counted operation is appended to the file ZK_FAULT_LOG as one line,
// "<number> <operation> <path>", the failed one marked with " FAILED".
//
// ZK_HOLD_OPEN=PATH holds the first open(2) of PATH (a scene file: the
// program is then reading it) until the process handles a signal: it first
// makes the file ZK_HOLD_MARK, so that a test knows when to send one.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {

template <typename F> F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct Stream {
    std::string path;
    bool written = false; // its first write was counted
    bool failing = false; // every write fails from now on
};

struct Faults {
    std::string dir;
    long failAt = 0;
    long count = 0;
    std::string log;
    std::map<FILE*, Stream> streams;

    Faults() {
        if (const char* d = getenv("ZK_FAULT_DIR"))
            dir = d;
        if (const char* k = getenv("ZK_FAULT_AT"))
            failAt = strtol(k, nullptr, 10);
        if (const char* l = getenv("ZK_FAULT_LOG"))
            log = l;
    }

    bool Watched(const char* path) const {
        return !dir.empty() && path && strncmp(path, dir.c_str(), dir.size()) == 0;
    }

    // Counts one operation; true when it is the one to fail.
    bool Fails(const char* operation, const std::string& path) {
        const bool fails = ++count == failAt;
        if (!log.empty()) {
            static auto realFopen = Real<FILE* (*)(const char*, const char*)>("fopen");
            static auto realFclose = Real<int (*)(FILE*)>("fclose");
            if (FILE* f = realFopen(log.c_str(), "a")) {
                fprintf(f, "%ld %s %s%s\n", count, operation, path.c_str(), fails ? " FAILED" : "");
                realFclose(f);
            }
        }
        return fails;
    }

    // Whether a write to the stream is to fail; counts the stream's first.
    bool WriteFails(FILE* f) {
        auto it = streams.find(f);
        if (it == streams.end())
            return false;
        Stream& s = it->second;
        if (!s.written) {
            s.written = true;
            s.failing = Fails("write", s.path);
        }
        if (!s.failing)
            return false;
        f->_flags |= _IO_ERR_SEEN;
        errno = ENOSPC;
        return true;
    }
};

Faults& State() {
    static Faults faults;
    return faults;
}

FILE* Open(const char* name, const char* path, const char* mode) {
    auto real = Real<FILE* (*)(const char*, const char*)>(name);
    Faults& faults = State();
    // Only streams that write count: the host reads back what the bake wrote
    // to judge it complete, and those reads are not the bake's operations.
    const bool writes = strpbrk(mode, "wa+") != nullptr;
    if (!writes || !faults.Watched(path))
        return real(path, mode);
    if (faults.Fails("open", path)) {
        errno = ENOSPC;
        return nullptr;
    }
    FILE* f = real(path, mode);
    if (f)
        faults.streams[f] = Stream{path};
    return f;
}

// Holds the first open of ZK_HOLD_OPEN until a signal is handled. Every
// signal is blocked from before the mark is made, so none can come between
// the mark and the wait.
void HoldOpen(const char* path) {
    static const char* held = getenv("ZK_HOLD_OPEN");
    static const char* mark = getenv("ZK_HOLD_MARK");
    static bool done = false;
    if (done || !held || !mark || !path || strcmp(path, held) != 0)
        return;
    done = true;
    sigset_t all, before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    static auto realOpen = Real<int (*)(const char*, int, ...)>("open");
    const int fd = realOpen(mark, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        close(fd);
    sigsuspend(&before);
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

int OpenFile(const char* name, const char* path, int flags, va_list args) {
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0;
    HoldOpen(path);
    return Real<int (*)(const char*, int, ...)>(name)(path, flags, mode);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = OpenFile("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = OpenFile("open64", path, flags, args);
    va_end(args);
    return fd;
}

FILE* fopen(const char* path, const char* mode) {
    return Open("fopen", path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    return Open("fopen64", path, mode);
}

int fclose(FILE* f) {
    static auto real = Real<int (*)(FILE*)>("fclose");
    Faults& faults = State();
    auto it = faults.streams.find(f);
    if (it == faults.streams.end())
        return real(f);
    const bool fails = faults.Fails("close", it->second.path);
    faults.streams.erase(it);
    const int result = real(f);
    if (fails) {
        errno = EIO;
        return EOF;
    }
    return result;
}

int mkdir(const char* path, mode_t mode) {
    static auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    Faults& faults = State();
    if (faults.Watched(path) && faults.Fails("mkdir", path)) {
        errno = ENOSPC;
        return -1;
    }
    return real(path, mode);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* f) {
    static auto real = Real<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite");
    return State().WriteFails(f) ? 0 : real(data, size, count, f);
}

int fputs(const char* text, FILE* f) {
    static auto real = Real<int (*)(const char*, FILE*)>("fputs");
    return State().WriteFails(f) ? EOF : real(text, f);
}

int fputc(int c, FILE* f) {
    static auto real = Real<int (*)(int, FILE*)>("fputc");
    return State().WriteFails(f) ? EOF : real(c, f);
}

int putc(int c, FILE* f) {
    static auto real = Real<int (*)(int, FILE*)>("putc");
    return State().WriteFails(f) ? EOF : real(c, f);
}

int vfprintf(FILE* f, const char* format, va_list args) {
    static auto real = Real<int (*)(FILE*, const char*, va_list)>("vfprintf");
    return State().WriteFails(f) ? -1 : real(f, format, args);
}

int fprintf(FILE* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = vfprintf(f, format, args);
    va_end(args);
    return result;
}

int __vfprintf_chk(FILE* f, int flag, const char* format, va_list args) {
    static auto real = Real<int (*)(FILE*, int, const char*, va_list)>("__vfprintf_chk");
    return State().WriteFails(f) ? -1 : real(f, flag, format, args);
}

int __fprintf_chk(FILE* f, int flag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = __vfprintf_chk(f, flag, format, args);
    va_end(args);
    return result;
}

} // extern "C"
