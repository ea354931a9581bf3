// The GUI side of one brick connection: the listening socket and the brick it accepted.
#include "tools/gui/GuiServer.h"

namespace gui {

GuiServer::GuiServer(std::string address, uint16_t port) : address_(std::move(address)), requestedPort_(port) {}

GuiResult GuiServer::listen()
{
    const ip::Address address = ip::resolve(address_);
    if (listener_.bind(address, requestedPort_) != ip::SocketStatus::Done)
        return GuiResult::failure(GuiError::SocketError, "cannot listen on " + address_ + ":" +
                                                             std::to_string(requestedPort_) + ": " +
                                                             listener_.lastErrorText());
    if (listener_.listen() != ip::SocketStatus::Done)
        return GuiResult::failure(GuiError::SocketError, "cannot listen on " + address_ + ":" +
                                                             std::to_string(requestedPort_) + ": " +
                                                             listener_.lastErrorText());
    return GuiResult::success();
}

GuiResult GuiServer::accept(Deadline deadline) { return brick_.accept(listener_, deadline); }

} // namespace gui
