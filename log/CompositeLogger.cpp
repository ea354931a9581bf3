// Forwarding of log messages to the members of a composite.
#include "log/CompositeLogger.h"

namespace kel {

void CompositeLogger::log(const LogMessage& message)
{
    forEachMember([&message](ILogger& member) {
        try {
            member.log(message);
        } catch (...) {
            // One broken output (a full disk, a closed console) must not silence the others.
        }
    });
}

}  // namespace kel
