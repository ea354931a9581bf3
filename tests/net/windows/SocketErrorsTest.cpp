// Windows only. The Winsock table, written with the codes' numbers so that a wrong constant shows.
#include "net/SocketStatus.h"

#include <gtest/gtest.h>

TEST(SocketStatusTest, WinsockMappingFollowsTheTable)
{
    using ip::SocketStatus;
    for (int e : {10035 /*WOULDBLOCK*/, 10036 /*INPROGRESS*/, 10037 /*ALREADY*/})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::NotReady) << e;
    for (int e : {10052 /*NETRESET*/, 10053 /*CONNABORTED*/, 10054 /*CONNRESET*/, 10057 /*NOTCONN*/,
                  10058 /*SHUTDOWN*/, 10060 /*TIMEDOUT*/})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::Disconnected) << e;
    EXPECT_EQ(ip::statusFromError(10056 /*ISCONN*/), SocketStatus::Done);
    for (int e : {10061 /*CONNREFUSED*/, 10048 /*ADDRINUSE*/, 10038 /*NOTSOCK*/, 10022 /*INVAL*/, 0, 11, 104, 99999})
        EXPECT_EQ(ip::statusFromError(e), SocketStatus::Error) << e;
    EXPECT_STREQ(ip::toString(SocketStatus::Disconnected), "Disconnected");
}
