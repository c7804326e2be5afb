#pragma once
// Runs a program under test (velmora-image: VELMORA_IMAGE_BIN) with a
// command line and collects its exit status and standard output.

#include <string>
#ifndef _WIN32
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace tooltest {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err; // filled by callers that keep standard error
};

// The arguments are passed as written (paths single-quoted by the caller);
// standard error goes to errFile.
#ifdef _WIN32
// run_tool_win32.cpp; "/dev/null" stands for nowhere there too.
Outcome runProgram(const std::string& program, const std::string& args,
                   const std::string& errFile = "/dev/null");
#else
inline Outcome runProgram(const std::string& program, const std::string& args,
                          const std::string& errFile = "/dev/null") {
    Outcome r;
    const std::string command = "'" + program + "' " + args + " 2>'" + errFile + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
#endif

#ifndef _WIN32
// While it lives, programs started (and this one) may write files of at most
// `bytes` bytes: a longer write fails part way through, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : signal_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, signal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit old_ {};
    void (*signal_)(int);
};
#endif

#ifdef VELMORA_IMAGE_BIN
inline Outcome runTool(const std::string& args, const std::string& errFile = "/dev/null") {
    return runProgram(VELMORA_IMAGE_BIN, args, errFile);
}
#endif

} // namespace tooltest
