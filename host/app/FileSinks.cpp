#include "host/app/FileSinks.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace host {

namespace {

// One sink: the bytes written to it over every opening.
struct Sink {
    std::atomic<long long> bytes{0};
    std::atomic<bool> opened{false};
};

// A redirected path: where its writes go, and whether it was opened.
struct Redirection {
    std::string to;
    bool opened = false;
};

struct SinkTable {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Sink>> sinks;
    std::map<std::string, Redirection> redirections;
};

// Read on every fopen of the process: plain flags keep the common case
// (no sink or redirection set) to one load each.
std::atomic<bool> g_active{false};
std::atomic<bool> g_redirecting{false};

SinkTable& Table() {
    static SinkTable* table = new SinkTable; // never destroyed: fopen may run at exit
    return *table;
}

std::string Key(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

std::shared_ptr<Sink> Find(const char* path) {
    if (!g_active.load(std::memory_order_acquire) || !path)
        return nullptr;
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.sinks.find(Key(path));
    return it == table.sinks.end() ? nullptr : it->second;
}

// Where the writes to a path go instead, marking it opened when `open`;
// empty when it is not redirected.
std::string RedirectionOf(const char* path, bool open) {
    if (!g_redirecting.load(std::memory_order_acquire) || !path)
        return std::string();
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.redirections.find(Key(path));
    if (it == table.redirections.end())
        return std::string();
    it->second.opened = it->second.opened || open;
    return it->second.to;
}

bool Writes(const char* mode) {
    return mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+'));
}

ssize_t SinkWrite(void* cookie, const char*, size_t size) {
    static_cast<std::shared_ptr<Sink>*>(cookie)->get()->bytes += static_cast<long long>(size);
    return static_cast<ssize_t>(size);
}

int SinkClose(void* cookie) {
    delete static_cast<std::shared_ptr<Sink>*>(cookie);
    return 0;
}

// A stream into a sink: every write succeeds and is counted, unbuffered so
// that the count is whole once each write returns.
FILE* OpenSink(const char* path, const char* mode) {
    if (!Writes(mode))
        return nullptr;
    std::shared_ptr<Sink> sink = Find(path);
    if (!sink)
        return nullptr;
    auto* cookie = new std::shared_ptr<Sink>(sink);
    cookie_io_functions_t functions = {};
    functions.write = SinkWrite;
    functions.close = SinkClose;
    FILE* stream = fopencookie(cookie, "w", functions);
    if (!stream) {
        delete cookie;
        return nullptr;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    sink->opened = true;
    return stream;
}

// The stand-in of a redirected path opened for writing: made afresh (no
// symbolic link followed), emptied if it is there already.
FILE* OpenRedirected(const char* path, const char* mode) {
    if (!Writes(mode))
        return nullptr;
    const std::string to = RedirectionOf(path, true);
    if (to.empty())
        return nullptr;
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC |
                      (std::strchr(mode, 'a') ? O_APPEND : 0);
    const int fd = open(to.c_str(), flags, 0666);
    if (fd < 0)
        return reinterpret_cast<FILE*>(-1); // fails as the open did (errno set)
    FILE* stream = fdopen(fd, std::strchr(mode, 'a') ? "a" : "w");
    if (!stream) {
        const int error = errno;
        close(fd);
        errno = error;
        return reinterpret_cast<FILE*>(-1);
    }
    return stream;
}

// The next definition of a C library function after this library's own.
template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// A redirected open's stream, nullptr for a failed one, or the C library's.
template <class Fn> FILE* Open(const char* path, const char* mode, Fn next) {
    if (FILE* sink = OpenSink(path, mode))
        return sink;
    FILE* redirected = OpenRedirected(path, mode);
    if (redirected == reinterpret_cast<FILE*>(-1))
        return nullptr;
    if (redirected)
        return redirected;
    return next(path, mode);
}

} // namespace

namespace FileSinks {

void Set(const std::vector<std::string>& paths) {
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.sinks.clear();
    for (const std::string& path : paths)
        table.sinks[Key(path)] = std::make_shared<Sink>();
    g_active.store(!table.sinks.empty(), std::memory_order_release);
}

void Clear() {
    Set({});
}

void Redirect(const std::vector<std::pair<std::string, std::string>>& redirections) {
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.redirections.clear();
    for (const auto& [from, to] : redirections)
        table.redirections[Key(from)] = Redirection{to, false};
    g_redirecting.store(!table.redirections.empty(), std::memory_order_release);
}

bool Redirected(const std::string& path) {
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.redirections.find(Key(path));
    return it != table.redirections.end() && it->second.opened;
}

long long BytesWritten(const std::string& path) {
    SinkTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.sinks.find(Key(path));
    if (it == table.sinks.end() || !it->second->opened)
        return -1;
    return it->second->bytes;
}

} // namespace FileSinks

} // namespace host

// The C library's entries, ahead of the C library (see the header).
extern "C" {

__attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
    using Fn = FILE* (*)(const char*, const char*);
    static const Fn next = host::Next<Fn>("fopen");
    return host::Open(path, mode, next);
}

__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
    using Fn = FILE* (*)(const char*, const char*);
    static const Fn next = host::Next<Fn>("fopen64");
    return host::Open(path, mode, next);
}

__attribute__((visibility("default"))) int remove(const char* path) noexcept {
    if (host::Find(path))
        return 0;
    using Fn = int (*)(const char*);
    static const Fn next = host::Next<Fn>("remove");
    const std::string to = host::RedirectionOf(path, false);
    return next(to.empty() ? path : to.c_str());
}

} // extern "C"
