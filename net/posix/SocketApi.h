// POSIX only. The BSD socket headers, for the portable files of net/ that call the socket API.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace ip::sockets {

/// BSD sockets need no start-up.
inline bool ensureStarted() { return true; }

} // namespace ip::sockets
