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
    int out = -1;
    int err = -1;
};

Child Start(const std::vector<std::string>& argv, const std::string& workDir);

// Waits for the child to end, killing it first when `kill` is set or when
// it has not ended within `seconds`.
Outcome Finish(Child child, bool kill = false, double seconds = 10);

inline Outcome Run(const std::vector<std::string>& argv, const std::string& workDir) {
    return Finish(Start(argv, workDir));
}

// A FIFO that recording programs write one line per call into.
int OpenFifo(const std::string& path);

// The next line from the FIFO, or false after `seconds` without one.
bool ReadLine(int fd, std::string& line, double seconds = 10);

// Writes a program that appends "[arg1][arg2]...\n" to the FIFO `fifo`.
void WriteRecorder(const std::string& path, const std::string& fifo);

}  // namespace Sandbox
