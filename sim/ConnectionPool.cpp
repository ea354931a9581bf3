// Listening sockets, accepted connections and the workers that take turns serving them.
#include "sim/ConnectionPool.h"

#include "sim/SimLog.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vdsim {

namespace {

void poke(const UniqueFd& pipeEnd)
{
    char one = 1;
    (void)!::write(pipeEnd.get(), &one, 1);
}

} // namespace

bool ConnectionPool::open(std::string& error)
{
    if (makePipe(stopRead_, stopWrite_) && makePipe(wakeRead_, wakeWrite_)) return true;
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
}

void ConnectionPool::start()
{
    std::lock_guard<std::mutex> lk(workMutex_);
    workers_.emplace_back([this] { workerLoop(); });
}

void ConnectionPool::wakeAcceptor() { poke(wakeWrite_); }

bool ConnectionPool::addListener(const std::string& path, ListenerKind kind, const Endpoint& ep, std::string& error)
{
    UniqueFd fd = listenUnix(path, error);
    if (!fd) return false;
    auto l = std::make_unique<Listener>();
    l->fd = std::move(fd);
    l->path = path;
    l->kind = kind;
    l->endpoint = ep;
    {
        std::lock_guard<std::mutex> lk(listenMutex_);
        listeners_.push_back(std::move(l));
    }
    wakeAcceptor();
    return true;
}

void ConnectionPool::retire(const std::function<bool(ListenerKind, const Endpoint&)>& matches)
{
    {
        std::lock_guard<std::mutex> lk(listenMutex_);
        for (auto& l : listeners_)
            if (!l->retired && matches(l->kind, l->endpoint)) {
                ::unlink(l->path.c_str());
                l->retired = true;
            }
    }
    {
        std::lock_guard<std::mutex> lk(connMutex_);
        for (auto& c : connections_)
            if (c->fd && matches(c->kind, c->endpoint)) {
                // A connection on a slot may be mid-way to its next request; the flag stops it
                // as the shut-down socket stops one that reads the socket.
                c->closing.store(true);
                ::shutdown(c->fd.get(), SHUT_RDWR);
            }
    }
    wakeAcceptor();
}

void ConnectionPool::stop()
{
    {
        std::lock_guard<std::mutex> lk(stopMutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (stopWrite_) poke(stopWrite_);
    std::vector<std::thread> workers;
    {
        // Once the flag is set no worker adds another one.
        std::lock_guard<std::mutex> lk(workMutex_);
        workersStop_ = true;
        workers.swap(workers_);
    }
    workCv_.notify_all();
    for (auto& worker : workers) worker.join();
    {
        // Connections accepted but never served.
        std::lock_guard<std::mutex> lk(connMutex_);
        connections_.clear();
    }
    std::lock_guard<std::mutex> lk(listenMutex_);
    for (auto& l : listeners_)
        if (!l->retired) ::unlink(l->path.c_str());
    listeners_.clear();
}

bool ConnectionPool::waitStop(int ms)
{
    std::unique_lock<std::mutex> lk(stopMutex_);
    return stopCv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

Connection* ConnectionPool::acceptOne()
{
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Listener*> polled;
        {
            std::lock_guard<std::mutex> lk(listenMutex_);
            std::erase_if(listeners_, [](const auto& l) { return l->retired; });
            for (auto& l : listeners_) {
                fds.push_back({l->fd.get(), POLLIN, 0});
                polled.push_back(l.get());
            }
        }
        fds.push_back({wakeRead_.get(), POLLIN, 0});
        fds.push_back({stopRead_.get(), POLLIN, 0});
        int rc = ::poll(fds.data(), fds.size(), -1);
        if (rc < 0 && errno != EINTR) {
            logLine(std::string("poll: ") + std::strerror(errno));
            return nullptr;
        }
        if (fds.back().revents & POLLIN) return nullptr;
        if (fds[fds.size() - 2].revents & POLLIN) {
            char buf[64];
            while (::read(wakeRead_.get(), buf, sizeof buf) > 0) {
            }
        }
        for (size_t i = 0; i < polled.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            UniqueFd accepted(::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC));
            if (!accepted) continue;
            std::lock_guard<std::mutex> lk(connMutex_);
            auto c = std::make_unique<Connection>();
            c->id = nextConnectionId_++;
            c->fd = std::move(accepted);
            c->kind = polled[i]->kind;
            c->endpoint = polled[i]->endpoint;
            Connection* raw = c.get();
            connections_.push_back(std::move(c));
            return raw;
        }
    }
}

void ConnectionPool::workerLoop()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lk(workMutex_);
            ++idleWorkers_;
            workCv_.wait(lk, [this] { return workersStop_ || !leaderActive_; });
            --idleWorkers_;
            if (workersStop_) return;
            leaderActive_ = true;
        }
        Connection* c = acceptOne();
        {
            // Hand the listening sockets on before serving; with no idle worker left, a new
            // one takes them.
            std::lock_guard<std::mutex> lk(workMutex_);
            leaderActive_ = false;
            if (c && idleWorkers_ == 0 && !workersStop_) workers_.emplace_back([this] { workerLoop(); });
        }
        workCv_.notify_one();
        if (!c) return; // stopping
        serve_(*c);
        std::lock_guard<std::mutex> lk(connMutex_);
        c->fd.reset();
        connections_.remove_if([c](const std::unique_ptr<Connection>& held) { return held.get() == c; });
    }
}

} // namespace vdsim
