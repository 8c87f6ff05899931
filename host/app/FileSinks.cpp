#include "host/app/FileSinks.h"

#include <dlfcn.h>

#include <atomic>
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

struct SinkTable {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Sink>> sinks;
};

// Read on every fopen of the process: a plain flag keeps the common case
// (no sink set) to one load.
std::atomic<bool> g_active{false};

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

// The next definition of a C library function after this library's own.
template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
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
    if (FILE* sink = host::OpenSink(path, mode))
        return sink;
    using Fn = FILE* (*)(const char*, const char*);
    static const Fn next = host::Next<Fn>("fopen");
    return next(path, mode);
}

__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
    if (FILE* sink = host::OpenSink(path, mode))
        return sink;
    using Fn = FILE* (*)(const char*, const char*);
    static const Fn next = host::Next<Fn>("fopen64");
    return next(path, mode);
}

__attribute__((visibility("default"))) int remove(const char* path) noexcept {
    if (host::Find(path))
        return 0;
    using Fn = int (*)(const char*);
    static const Fn next = host::Next<Fn>("remove");
    return next(path);
}

} // extern "C"
