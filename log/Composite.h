// kel::Composite: an interface implemented by forwarding to a set of members.
#pragma once

#include <cstddef>
#include <mutex>
#include <set>

namespace kel {

/// Holds a set of non-owning pointers to `Interface` objects, ordered by address.
/// The set may change on one thread while a derived class forwards calls on another:
/// both sides take the members mutex, so remove() returns only when no forwarded call
/// is still running on the removed member.
template <class Interface>
class Composite : public Interface {
public:
    Composite() = default;
    Composite(const Composite&) = delete;
    Composite& operator=(const Composite&) = delete;

    /// Adds `member`. Returns false when it is null or already present.
    bool add(Interface* member)
    {
        if (member == nullptr)
            return false;
        std::lock_guard<std::mutex> lock(membersMutex_);
        return members_.insert(member).second;
    }

    /// Removes `member`. Returns false when it was not present.
    bool remove(Interface* member)
    {
        std::lock_guard<std::mutex> lock(membersMutex_);
        return members_.erase(member) != 0;
    }

    bool contains(Interface* member) const
    {
        std::lock_guard<std::mutex> lock(membersMutex_);
        return members_.count(member) != 0;
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(membersMutex_);
        return members_.size();
    }

protected:
    /// Calls `call(Interface&)` on every member with the members mutex held. A member must
    /// not change this composite from inside the call.
    template <class Call>
    void forEachMember(Call&& call) const
    {
        std::lock_guard<std::mutex> lock(membersMutex_);
        for (Interface* member : members_)
            call(*member);
    }

private:
    mutable std::mutex membersMutex_;  // guards members_
    std::set<Interface*> members_;
};

}  // namespace kel
