// POSIX only. The errno table of the BSD sockets.
#include "net/SocketStatus.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SocketStatusTest, ErrnoMappingFollowsTheTable)
{
    using ip::SocketStatus;
    for (int e : {EWOULDBLOCK, EAGAIN, EINPROGRESS, EALREADY})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::NotReady) << e;
    for (int e : {ENETRESET, ECONNABORTED, ECONNRESET, ENOTCONN, ETIMEDOUT, EPIPE})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::Disconnected) << e;
    EXPECT_EQ(ip::statusFromError(EISCONN), SocketStatus::Done);
    for (int e : {ECONNREFUSED, EADDRINUSE, EBADF, EINVAL, 0, 99999})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::Error) << e;
    EXPECT_STREQ(ip::toString(SocketStatus::Disconnected), "Disconnected");
}
