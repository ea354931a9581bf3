// kel::CompositeLogger: hands every message to each of its member loggers.
#pragma once

#include "log/Composite.h"
#include "log/ILogger.h"

namespace kel {

class CompositeLogger : public Composite<ILogger> {
public:
    /// Forwards to every member; a member that throws does not stop the others.
    void log(const LogMessage& message) override;
};

}  // namespace kel
