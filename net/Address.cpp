// Text-to-address lookup for IPv4 (dotted quads and host names), over this OS's socket API.
#include "net/Address.h"

#include "SocketApi.h" // net/posix/ or net/windows/, chosen by CMake

#include <cstring>

namespace ip {

Address resolve(const std::string& text)
{
    if (text == "255.255.255.255")
        return Broadcast;

    sockets::ensureStarted();
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) == 1)
        return parsed.s_addr;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (text.empty() || getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return Any;
    Address address = Any;
    if (found->ai_addr != nullptr && found->ai_addrlen >= sizeof(sockaddr_in))
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::string toString(Address address)
{
    in_addr value{};
    value.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &value, text, sizeof text) == nullptr)
        return "0.0.0.0";
    return text;
}

} // namespace ip
