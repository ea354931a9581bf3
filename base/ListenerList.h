// kel::ListenerList: the thread-safe list of non-owning listener pointers behind every sender of
// events (loggers, TCP connections and clients, applications) and the composite logger.
#pragma once

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

namespace kel {

/// Keeps the listeners of one kind of event, in the order they were added. Listeners are not owned: whoever adds a
/// listener removes it (or destroys the sender) before the listener goes away.
/// Listeners are called under the list mutex, so a callback must not add or remove
/// listeners of the same sender (that would deadlock).
template <class Listener>
class ListenerList {
public:
    ListenerList() = default;
    ListenerList(const ListenerList&) = delete;
    ListenerList& operator=(const ListenerList&) = delete;

    /// Clears the list under the lock, so a delivery in progress finishes first.
    virtual ~ListenerList()
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        listeners_.clear();
    }

    /// Appends `listener`. Returns false (and changes nothing) when it is null or already present.
    bool addListener(Listener* listener)
    {
        if (listener == nullptr)
            return false;
        std::lock_guard<std::mutex> lock(listenersMutex_);
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            return false;
        listeners_.push_back(listener);
        return true;
    }

    /// Removes `listener`. Returns false when it was not present.
    bool removeListener(Listener* listener)
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        auto it = std::find(listeners_.begin(), listeners_.end(), listener);
        if (it == listeners_.end())
            return false;
        listeners_.erase(it);
        return true;
    }

    /// Whether `listener` is in the list at this moment.
    bool hasListener(Listener* listener) const
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        return std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end();
    }

    /// Number of listeners at this moment.
    std::size_t listenerCount() const
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        return listeners_.size();
    }

    /// Calls `call(Listener&)` for every listener, in the order they were added, with the
    /// list mutex held for the whole round.
    template <class Call>
    void forEachListener(Call&& call) const
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        for (Listener* listener : listeners_)
            call(*listener);
    }

private:
    mutable std::mutex listenersMutex_;  // guards listeners_
    std::vector<Listener*> listeners_;
};

}  // namespace kel
