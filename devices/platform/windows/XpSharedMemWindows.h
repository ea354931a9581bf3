// Shared-memory section on Windows: a file mapping in the global namespace, mapped into this process.
#pragma once

#include "devices/platform/IXpSharedMem.h"
#include "devices/platform/windows/UniqueHandle.h"

namespace Vdapi {

class XpSharedMemWindows final : public IXpSharedMem {
public:
    XpSharedMemWindows() = default;
    ~XpSharedMemWindows() override = default;

    VdResult Open(const char* name, size_t size, void*& address, bool readOnly) override;
    size_t Size() const override { return view_.size(); }
    void Close() override
    {
        view_.reset();
        section_.reset();
    }

private:
    UniqueView view_;       ///< destroyed before the section
    UniqueHandle section_;
};

} // namespace Vdapi
