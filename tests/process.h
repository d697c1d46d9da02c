// Starting real programs from tests and waiting for what they write.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace Sandbox {

// A fresh empty directory under the system's temporary folder.
std::string TempDir();

void WriteFile(const std::string& path, const std::string& bytes, int mode = 0644);

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct Child {
    pid_t pid = -1;
    std::string out, err;  // files that take its standard output and error
};

Child Start(const std::vector<std::string>& argv, const std::string& workDir);

// Waits for the child to end, killing it first when `kill` is set or when
// it has not ended within `seconds`.
Outcome Finish(Child child, bool kill = false, double seconds = 10);

inline Outcome Run(const std::vector<std::string>& argv, const std::string& workDir) {
    return Finish(Start(argv, workDir));
}

// A FIFO that recording programs write one record per call into.
int OpenFifo(const std::string& path);

// The next record from the FIFO, or false after `seconds` without one.
bool ReadRecord(int fd, std::string& record, double seconds = 10);

// Writes a program that writes the record "[arg1][arg2]..." to the FIFO
// `fifo`. Records end in a NUL byte, since arguments may hold line feeds.
void WriteRecorder(const std::string& path, const std::string& fifo);

// Closes the FIFO and removes the folder. A messenger the program started
// just before it was stopped may still write there: it creates a plain
// file once the FIFO is gone, which a second try removes.
void Cleanup(const std::string& dir, int fifo = -1);

// The states ('R', 'S', 'Z'...) of the children of `parent`.
std::string ChildStates(pid_t parent);

// A folder holding a copy of `program`, which looks for its settings in
// its own directory.
std::string ProgramFolder(const std::string& program);

}  // namespace Sandbox
