#include "SlurmJobs.h"

#include "Subcommands.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <sstream>

extern char** environ;

namespace xsihost {

namespace {

// Both ends of a pipe, closed when it goes.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0)
            fd[0] = fd[1] = -1;
    }
    ~Pipe() {
        for (int f : fd)
            if (f >= 0)
                close(f);
    }
    void CloseWrite() {
        close(fd[1]);
        fd[1] = -1;
    }
};

std::string FirstLine(const std::string& text) {
    const size_t start = text.find_first_not_of(" \n");
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find('\n', start) - start);
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& args) {
    ProgramResult result;
    Pipe out, err;
    if (out.fd[0] < 0 || err.fd[0] < 0) {
        result.err = std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.err = std::strerror(spawned);
        return result;
    }
    result.started = true;
    out.CloseWrite();
    err.CloseWrite();
    // Both outputs read as they come, so that neither fills its pipe.
    pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[k]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[k].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string SubmitJob(const std::vector<std::string>& sbatchArguments, const std::string& what) {
    std::vector<std::string> args = {"sbatch", "--parsable"};
    args.insert(args.end(), sbatchArguments.begin(), sbatchArguments.end());
    const ProgramResult r = RunProgram(args);
    if (!r.started)
        throw UsageError("sbatch cannot be run (" + r.err +
                         "): the farm needs Slurm's client commands on PATH");
    // --parsable: "id" or "id;cluster".
    const std::string line = FirstLine(r.out);
    const std::string id = line.substr(0, line.find(';'));
    const bool numeric = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos;
    if (r.status != 0 || !numeric) {
        const std::string said = FirstLine(r.err).empty() ? FirstLine(r.out) : FirstLine(r.err);
        throw UsageError("sbatch refused the " + what + ": " +
                         (said.empty() ? "exit status " + std::to_string(r.status) : said));
    }
    return id;
}

std::vector<JobState> JobStates(const std::string& jobId) {
    const ProgramResult r = RunProgram({"scontrol", "show", "job", "-o", jobId});
    if (!r.started)
        throw UsageError("scontrol cannot be run (" + r.err +
                         "): the farm needs Slurm's client commands on PATH");
    std::vector<JobState> states;
    if (r.status != 0)
        return states; // "Invalid job id specified": no longer known
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        JobState job;
        std::istringstream fields(line);
        std::string field;
        while (fields >> field) {
            const size_t eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "JobId")
                job.jobId = value;
            else if (key == "ArrayTaskId")
                job.arrayTask = value;
            else if (key == "JobState")
                job.state = value;
            else if (key == "Reason")
                job.reason = value;
        }
        if (!job.jobId.empty())
            states.push_back(job);
    }
    return states;
}

bool IsFinalState(const std::string& state) {
    static const std::set<std::string> final = {
        "COMPLETED", "FAILED",   "CANCELLED",     "TIMEOUT", "NODE_FAIL",   "PREEMPTED",
        "BOOT_FAIL", "DEADLINE", "OUT_OF_MEMORY", "REVOKED", "SPECIAL_EXIT"};
    return final.count(state) > 0;
}

void CancelJobs(const std::vector<std::string>& jobIds) {
    if (jobIds.empty())
        return;
    std::vector<std::string> args = {"scancel"};
    args.insert(args.end(), jobIds.begin(), jobIds.end());
    RunProgram(args);
}

} // namespace xsihost
