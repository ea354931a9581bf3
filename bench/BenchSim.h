// A vdsim process for benchmarks: the reference rig in a private run directory, started once
// per benchmark run, plus a one-line client of its control socket.
#pragma once

#include "sim/SocketIo.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

struct BenchSim {
    std::string dir, run;
    pid_t pid = -1;
    bool ready = false;

    explicit BenchSim(const std::string& rigName = "reference.json")
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vdsimbenchXXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return;
        dir = tmpl;
        run = dir + "/run";
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            std::string rig = std::string(HALVIX_SOURCE_DIR) + "/sim/rigs/" + rigName;
            ::execl(VDSIM_BIN, VDSIM_BIN, "--rig", rig.c_str(), "--run-dir", run.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string out;
        char buf[256];
        while (out.find("ready") == std::string::npos) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) break;
            ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, size_t(n));
        }
        ready = out.find("ready") != std::string::npos;
        ::close(fds[0]);
    }
    ~BenchSim()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    BenchSim(const BenchSim&) = delete;
    BenchSim& operator=(const BenchSim&) = delete;

    /// Sends one control line and returns the answer line without its line feed ("" on failure).
    std::string control(const std::string& line) const
    {
        vdsim::UniqueFd fd = vdsim::connectUnix(run + "/vdsim.ctl");
        if (!fd) return "";
        const std::string text = line + "\n";
        if (!vdsim::writeFull(fd.get(), text.data(), text.size(), -1)) return "";
        std::string answer;
        char c;
        while (vdsim::readFull(fd.get(), &c, 1, -1, 10000) && c != '\n') answer.push_back(c);
        return answer;
    }
};

} // namespace bench
