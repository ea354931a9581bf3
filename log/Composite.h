// kel::Composite: an interface implemented by forwarding to a list of members.
#pragma once

#include "base/ListenerList.h"

#include <cstddef>
#include <utility>

namespace kel {

/// Holds non-owning pointers to `Interface` objects in a listener list, in the order they
/// were added. The list may change on one thread while a derived class forwards calls on
/// another: both sides take the list's mutex, so remove() returns only when no forwarded call
/// is still running on the removed member.
template <class Interface>
class Composite : public Interface {
public:
    Composite() = default;
    Composite(const Composite&) = delete;
    Composite& operator=(const Composite&) = delete;

    /// Adds `member`. Returns false when it is null or already present.
    bool add(Interface* member) { return members_.addListener(member); }
    /// Removes `member`. Returns false when it was not present.
    bool remove(Interface* member) { return members_.removeListener(member); }
    bool contains(Interface* member) const { return members_.hasListener(member); }
    std::size_t size() const { return members_.listenerCount(); }

protected:
    /// Calls `call(Interface&)` on every member with the list's mutex held. A member must
    /// not change this composite from inside the call.
    template <class Call>
    void forEachMember(Call&& call) const
    {
        members_.forEachListener(std::forward<Call>(call));
    }

private:
    ListenerList<Interface> members_;
};

}  // namespace kel
