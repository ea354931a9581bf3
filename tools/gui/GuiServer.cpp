// The GUI side of one brick connection: the listening socket and the brick it accepted.
#include "tools/gui/GuiServer.h"

#include <sys/socket.h>

namespace gui {

GuiServer::GuiServer(std::string address, uint16_t port) : address_(std::move(address)), requestedPort_(port) {}

bool GuiServer::isDottedQuad(const std::string& text)
{
    int parts = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        if (end == at || end - at > 3 || std::stoi(text.substr(at, end - at)) > 255)
            return false;
        ++parts;
        if (end == text.size())
            break;
        if (text[end] != '.' || parts == 4)
            return false;
        at = end + 1;
    }
    return parts == 4;
}

GuiResult GuiServer::listen()
{
    // ip::resolve widens text it cannot parse to every interface: such text is refused instead.
    if (!isDottedQuad(address_))
        return GuiResult::failure(GuiError::SocketError, "cannot listen on " + address_ +
                                                             ": not an IPv4 address such as 127.0.0.1");
    const ip::Address address = ip::resolve(address_);
    if (listener_.bind(address, requestedPort_) != ip::SocketStatus::Done)
        return GuiResult::failure(GuiError::SocketError, "cannot listen on " + address_ + ":" +
                                                             std::to_string(requestedPort_) + ": " +
                                                             listener_.lastErrorText());
    // Set before listening, so that accepted connections inherit it and announce the window.
    if (receiveBufferSize_ > 0 &&
        setsockopt(listener_.handle(), SOL_SOCKET, SO_RCVBUF, &receiveBufferSize_, sizeof receiveBufferSize_) != 0)
        return GuiResult::failure(GuiError::SocketError, "cannot set the receive buffer of " + address_);
    if (listener_.listen() != ip::SocketStatus::Done)
        return GuiResult::failure(GuiError::SocketError, "cannot listen on " + address_ + ":" +
                                                             std::to_string(requestedPort_) + ": " +
                                                             listener_.lastErrorText());
    return GuiResult::success();
}

GuiResult GuiServer::accept(Deadline deadline) { return brick_.accept(listener_, deadline); }

} // namespace gui
