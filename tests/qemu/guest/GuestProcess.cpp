#include "GuestProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace guest {

std::string ProgramDir() { return VORAN_PROGRAM_DIR; }

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    ProcessResult r;
    if (argv.empty())
        return r;
    const std::string path = argv[0].front() == '/' ? argv[0] : ProgramDir() + "/" + argv[0];

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args[0] = const_cast<char*>(path.c_str());
    args.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    for (const std::string& e : environment)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return r;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return r;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        execve(path.c_str(), args.data(), env.data());
        const char* msg = "cannot start the program\n";
        (void)!write(STDERR_FILENO, msg, std::strlen(msg));
        _exit(127);
    }
    close(fds[1]);
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0)
            r.output.append(buf, size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace guest
