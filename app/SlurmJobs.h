// Slurm's client commands as `xsihost farm slurm` uses them: sbatch to
// submit, scontrol to read job states, scancel to take back a submission
// that could not be completed. Each runs as a program found on PATH, no
// shell between; its output is read in full.
#pragma once

#include <string>
#include <vector>

namespace xsihost {

// What a program did: its exit status (-1 when it did not exit normally),
// its output and error output. started is false when it could not be run
// (not found); err then says why.
struct ProgramResult {
    bool started = false;
    int status = -1;
    std::string out;
    std::string err;
};
ProgramResult RunProgram(const std::vector<std::string>& args);

// sbatch --parsable with the arguments: the job id. Throws UsageError when
// sbatch is missing or refuses the job (its first line of error output in
// the message, `what` naming the job).
std::string SubmitJob(const std::vector<std::string>& sbatchArguments, const std::string& what);

// One job, or one task of an array job, as the controller sees it.
struct JobState {
    std::string jobId;     // the task's own id
    std::string arrayTask; // the array task index ("3"), a range of pending ones ("0-7"), or ""
    std::string state;     // PENDING, RUNNING, COMPLETED, FAILED, CANCELLED, ...
    std::string reason;
};

// The states of a job (every task of an array job). Empty when the
// controller no longer knows the job (it ended long enough ago).
std::vector<JobState> JobStates(const std::string& jobId);

// True for the states a job does not leave: it has ended.
bool IsFinalState(const std::string& state);

// scancel of the ids; what it says is dropped.
void CancelJobs(const std::vector<std::string>& jobIds);

} // namespace xsihost
