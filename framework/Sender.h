// kel::Sender: what the framework's classes derive from to hand events to their listeners.
#pragma once

#include "base/ListenerList.h"

namespace kel {

/// The one listener list of the system (log/ListenerList.h) under the framework's name.
template <class Listener>
using Sender = ListenerList<Listener>;

}  // namespace kel
