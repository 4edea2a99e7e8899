#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments the way Windows programs read theirs:
// blanks separate arguments, double quotes group, and a backslash escapes a
// quote ("\"" is a literal quote; 2n backslashes before a quote give n and the
// quote groups, 2n+1 give n and a literal quote). Other backslashes are literal.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The inverse for one argument: quoted so that SplitCommandLine gives it back whole.
std::string QuoteArgument(const std::string& argument);

// Folder of the running executable (no trailing slash), empty when unknown.
std::string ProgramFolder();

// Looks for an executable by name: in the program's own folder, then along PATH.
// A name containing "/" is taken as it is. Empty when nothing executable is found.
std::string FindExecutable(const std::string& name);

// A child started with its standard input on a pipe that we write.
struct ChildProcess {
    pid_t pid = -1;
    int stdinFd = -1; // write end, -1 once closed
    bool exited = false;
    int status = 0; // waitpid status once exited
};

// Starts `program` (a path) with `args` (args[0] is its own name) directly, never
// through a shell, in a new session so that it outlives us if we are killed.
// Its stdout and stderr go to /dev/null, so it can never block on them.
// On failure returns false and puts the reason in `error`.
bool SpawnWithStdinPipe(const std::string& program, const std::vector<std::string>& args,
                        ChildProcess& child, std::string* error);

// Writes all bytes to the child's stdin. False when the child has gone
// (EPIPE; SIGPIPE must be ignored, see IgnoreSigPipe) or made no progress
// within `timeoutMs`.
bool WriteToChild(ChildProcess& child, const void* data, size_t size, int timeoutMs = 10000);

// True while the child has not exited (reaps it when it has).
bool ChildRunning(ChildProcess& child);

// Closes the child's stdin and waits for it to exit, at most `timeoutMs`; after
// that it is killed. True when it exited by itself with status 0.
bool FinishChild(ChildProcess& child, int timeoutMs = 30000);

// Writing to a pipe whose reader died must give EPIPE, never kill the program.
void IgnoreSigPipe();
// As IgnoreSigPipe, and a write past the file-size limit (ulimit -f) must give
// EFBIG instead of killing the program with SIGXFSZ.
void IgnoreWriteSignals();

} // namespace platform
