// The running simulator: its run directory, its parts started and stopped in order.
#include "sim/Simulator.h"

#include "devices/DriverClass.h"
#include "devices/platform/posix/RunDir.h"
#include "sim/SimLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vdsim {

namespace {

// The run directory and its folders: owner and group only, whatever the umask.
constexpr mode_t kRunDirMode = 0770;

std::string controlPath() { return Vdapi::RunDir::root() + "/vdsim.ctl"; }

} // namespace

Simulator::Simulator(Rig rig) : state_(std::move(rig)) {}

Simulator::~Simulator() { stop(); }

bool Simulator::makeDirectories(std::string& error)
{
    const std::string root = Vdapi::RunDir::root();
    std::vector<std::string> dirs = {root, root + "/drivers", root + "/pipe", root + "/mutex", root + "/shm"};
    for (Vdapi::DriverClass c : {Vdapi::DriverClass::Pcie, Vdapi::DriverClass::LegacyPci, Vdapi::DriverClass::Bb2,
                                 Vdapi::DriverClass::Usb})
        dirs.push_back(root + "/drivers/" + Vdapi::DriverClassGuid(c));
    for (const auto& dir : dirs) {
        if (::mkdir(dir.c_str(), kRunDirMode) == 0) {
            createdDirs_.push_back(dir);
            // mkdir's mode passes through the umask; the folders are for the owner and its group.
            if (::chmod(dir.c_str(), kRunDirMode) != 0) {
                error = dir + ": " + std::strerror(errno);
                return false;
            }
        } else if (errno != EEXIST) {
            error = dir + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool Simulator::start(std::string& error)
{
    {
        std::lock_guard<std::mutex> lk(stopMutex_);
        if (started_) {
            error = "already started";
            return false;
        }
        started_ = true;
    }
    if (!pool_.open(error)) return false;
    if (connectUnix(controlPath())) {
        // Replacing its sockets would leave a live simulator serving nothing.
        error = "another simulator is serving " + Vdapi::RunDir::root();
        std::lock_guard<std::mutex> lk(stopMutex_);
        started_ = false;
        return false;
    }
    bool ok = makeDirectories(error) && pool_.addListener(controlPath(), ListenerKind::Control, {}, error);
    size_t deviceCount;
    {
        auto lk = state_.lock();
        deviceCount = state_.rig().devices.size();
    }
    for (size_t d = 0; ok && d < deviceCount; ++d) {
        bool present;
        {
            auto lk = state_.lock();
            present = state_.plugged(d);
        }
        if (present) ok = drivers_.listen(d, error);
    }
    if (!ok || !service_.create(error)) {
        stop();
        return false;
    }
    ethernet_.start(&logLine);
    pool_.start();
    return true;
}

void Simulator::stop()
{
    {
        std::lock_guard<std::mutex> lk(stopMutex_);
        if (!started_ || stopping_) return;
        stopping_ = true;
    }
    ethernet_.stop();
    pool_.stop();
    service_.destroy();
    for (auto it = createdDirs_.rbegin(); it != createdDirs_.rend(); ++it) ::rmdir(it->c_str());
    createdDirs_.clear();
}

void Simulator::serve(Connection& c)
{
    switch (c.kind) {
    case ListenerKind::Driver:
        state_.countEvent("open");
        drivers_.serve(c);
        break;
    case ListenerKind::Service: service_.serve(c); break;
    case ListenerKind::Control: control_.serve(c); break;
    }
    auto lk = state_.lock();
    state_.releaseAll(c.id); // the handle closed: its claims end with it
}

} // namespace vdsim
