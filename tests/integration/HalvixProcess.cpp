// fork/exec of halvix with a pipe for its output, and waits with deadlines.
#include "HalvixProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

namespace integration {

HalvixProcess::HalvixProcess(const std::vector<std::string>& arguments)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> all{HALVIX_BIN};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::execv(HALVIX_BIN, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid_ < 0) {
        ::close(pipeFds[0]);
        return;
    }
    reader_ = std::thread([this, fd = pipeFds[0]] { readLoop(fd); });
}

HalvixProcess::~HalvixProcess()
{
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable())
        reader_.join(); // the pipe closes with the child
}

void HalvixProcess::readLoop(int fd)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        std::lock_guard lock(mutex_);
        if (n <= 0) {
            ended_ = true;
            changed_.notify_all();
            break;
        }
        output_.append(chunk, size_t(n));
        changed_.notify_all();
    }
    ::close(fd);
}

bool HalvixProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return ended_ || output_.find(text) != std::string::npos; });
    return output_.find(text) != std::string::npos;
}

std::optional<int> HalvixProcess::waitExit(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return std::nullopt;
    {
        // The pipe ends when the child (its only writer) has gone.
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return ended_; }))
            ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return std::nullopt;
}

std::string HalvixProcess::output() const
{
    std::lock_guard lock(mutex_);
    return output_;
}

std::vector<std::string> HalvixProcess::lines() const
{
    std::vector<std::string> out;
    std::istringstream in(output());
    for (std::string line; std::getline(in, line);) {
        const auto cut = line.find(" | ");
        out.push_back(cut == std::string::npos ? line : line.substr(cut + 3));
    }
    return out;
}

} // namespace integration
