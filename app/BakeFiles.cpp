#include "BakeFiles.h"

#include "Subcommands.h"

#include "host/app/FileSinks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xsihost {

namespace {

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool IsTemporaryName(const char* name) {
    const size_t n = std::strlen(name);
    return std::strncmp(name, ".xsihost-", 9) == 0 && n > 14 &&
           std::strcmp(name + n - 5, ".part") == 0;
}

// The text of the lock file of the bake that holds it, one line.
std::string Holder(int fd) {
    char text[256] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    std::string line(text, n > 0 ? static_cast<size_t>(n) : 0);
    line = line.substr(0, line.find('\n'));
    for (char& c : line) {
        c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    return line;
}

} // namespace

OutDirLock::OutDirLock(const std::string& outDir) : m_path(outDir + "/" + kLockName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            throw UsageError("cannot lock the output folder " + Quote(outDir) + ": " +
                             Quote(m_path) + ": " + std::strerror(errno));
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const std::string holder = Holder(fd);
            close(fd);
            if (error == EWOULDBLOCK) {
                throw UsageError("another bake is writing into " + Quote(outDir) +
                                 (holder.empty() ? std::string() : " (" + holder + ")") +
                                 "; one bake per output folder at a time");
            }
            throw UsageError("cannot lock the output folder " + Quote(outDir) + ": " +
                             std::strerror(error));
        }
        // A bake that ended between the open and the lock removed the file
        // this one holds: lock the file the path names now.
        struct stat held, named;
        if (fstat(fd, &held) != 0 || lstat(m_path.c_str(), &named) != 0 ||
            held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
            close(fd);
            continue;
        }
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        char started[64] = {};
        const std::time_t now = std::time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        std::strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", &local);
        const std::string text =
            "process " + std::to_string(getpid()) + " on " + host + ", started " + started + "\n";
        if (ftruncate(fd, 0) == 0) {
            (void)!pwrite(fd, text.data(), text.size(), 0);
        }
        m_fd = fd;
        return;
    }
    throw UsageError("cannot lock the output folder " + Quote(outDir) +
                     ": its lock file keeps changing");
}

OutDirLock::~OutDirLock() {
    if (m_fd >= 0) {
        unlink(m_path.c_str()); // while held: the next bake locks a file of its own
        close(m_fd);
    }
}

void CheckOutputPlaces(const std::vector<std::string>& folders,
                       const std::vector<std::string>& files) {
    for (const std::string& folder : folders) {
        struct stat st;
        if (lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            throw UsageError("the output folder " + Quote(folder) +
                             " is a symbolic link; bake writes nothing through a link: remove "
                             "it or bake into another folder");
        }
    }
    for (const std::string& file : files) {
        struct stat st;
        if (lstat(file.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            throw UsageError("the output path " + Quote(file) +
                             " is a symbolic link; bake writes nothing through a link: remove "
                             "it or bake into another folder");
        }
        if (!S_ISREG(st.st_mode)) {
            throw UsageError("the output path " + Quote(file) +
                             " is there and is not a regular file");
        }
    }
}

StagedFiles::StagedFiles(const std::vector<std::string>& paths) : m_paths(paths) {
    std::vector<std::pair<std::string, std::string>> redirections;
    for (size_t i = 0; i < paths.size(); ++i) {
        m_temps.push_back(Folder(paths[i]) + "/.xsihost-" + std::to_string(i) + ".part");
        redirections.emplace_back(paths[i], m_temps.back());
    }
    host::FileSinks::Redirect(redirections);
    m_redirecting = true;
}

StagedFiles::~StagedFiles() {
    Finish();
    for (const std::string& temp : m_temps) {
        unlink(temp.c_str());
    }
}

void StagedFiles::Finish() {
    if (m_redirecting) {
        host::FileSinks::Redirect({});
        m_redirecting = false;
    }
}

std::string StagedFiles::Written(size_t i) const {
    struct stat st;
    return lstat(m_temps[i].c_str(), &st) == 0 ? m_temps[i] : std::string();
}

bool StagedFiles::Commit(size_t i, std::string* error) {
    if (std::rename(m_temps[i].c_str(), m_paths[i].c_str()) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

void StagedFiles::Discard(size_t i) {
    unlink(m_temps[i].c_str());
}

void RemoveStaleTemporaries(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        DIR* dir = opendir(folder.c_str());
        if (!dir) {
            continue;
        }
        std::vector<std::string> stale;
        while (const dirent* entry = readdir(dir)) {
            if (IsTemporaryName(entry->d_name)) {
                stale.push_back(folder + "/" + entry->d_name);
            }
        }
        closedir(dir);
        for (const std::string& path : stale) {
            unlink(path.c_str());
        }
    }
}

} // namespace xsihost
