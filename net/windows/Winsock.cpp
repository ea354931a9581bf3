// Windows only. One WSAStartup per process and the matching WSACleanup at exit.
#include "net/windows/SocketApi.h"

namespace ip::sockets {
namespace {

class Session {
public:
    Session() { started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~Session()
    {
        if (started_)
            WSACleanup();
    }
    bool started() const { return started_; }

private:
    WSADATA data_{};
    bool started_ = false;
};

Session& session()
{
    static Session instance; // thread-safe initialisation; destroyed at process exit
    return instance;
}

// Started before main, like the rest of the process-wide transport constants.
const bool startedBeforeMain = session().started();

} // namespace

bool ensureStarted()
{
    (void)startedBeforeMain;
    return session().started();
}

} // namespace ip::sockets
