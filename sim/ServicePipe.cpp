// The device-service pipe and the shared device list.
#include "sim/ServicePipe.h"

#include "devices/platform/posix/RunDir.h"
#include "sim/ServiceHandler.h"
#include "sim/SimLog.h"

namespace vdsim {

namespace SP = Vdapi::ServiceProtocol;

ServicePipe::ServicePipe(SimState& state, ConnectionPool& pool) : state_(state), pool_(pool)
{
    auto lk = state_.lock();
    running_ = state_.rig().service.enabled;
}

bool ServicePipe::create(std::string& error)
{
    std::lock_guard<std::mutex> lk(mutex_);
    std::string mutexName, listName;
    {
        auto slk = state_.lock();
        mutexName = state_.rig().service.mutexName;
        listName = state_.rig().service.listName;
    }
    if (!list_.create(mutexName, listName, error)) return false;
    if (running_ && !pool_.addListener(Vdapi::RunDir::pipe(SP::kPipeName), ListenerKind::Service, {}, error))
        return false;
    if (!publish()) {
        error = "cannot publish the device list";
        return false;
    }
    return true;
}

void ServicePipe::destroy()
{
    std::lock_guard<std::mutex> lk(mutex_);
    list_.destroy();
}

ServicePipe::Change ServicePipe::setRunning(bool running, std::string& error)
{
    std::lock_guard<std::mutex> lk(mutex_);
    if (running_ == running) return Change::Already;
    if (!running) {
        running_ = false;
        pool_.retire([](ListenerKind k, const Endpoint&) { return k == ListenerKind::Service; });
        return Change::Done;
    }
    if (!pool_.addListener(Vdapi::RunDir::pipe(SP::kPipeName), ListenerKind::Service, {}, error)) return Change::Failed;
    running_ = true;
    return Change::Done;
}

bool ServicePipe::republish()
{
    std::lock_guard<std::mutex> lk(mutex_);
    return publish();
}

bool ServicePipe::publishVersion(uint32_t version)
{
    std::lock_guard<std::mutex> lk(mutex_);
    listVersion_ = version;
    return publish();
}

bool ServicePipe::publishCount(int32_t count)
{
    std::lock_guard<std::mutex> lk(mutex_);
    listCount_ = count;
    return publish();
}

bool ServicePipe::publishRestored()
{
    std::lock_guard<std::mutex> lk(mutex_);
    listVersion_ = SP::kListVersion;
    listCount_.reset();
    return publish();
}

void ServicePipe::serve(Connection& c)
{
    // A client's next request follows its last answer within microseconds (a device's
    // properties are read one after the other).
    constexpr int kServiceSpinMicros = 30;
    const int stop = pool_.stopFd();
    StreamReader reader(c.fd.get(), stop, kServiceSpinMicros);
    for (;;) {
        uint8_t hdr[SP::kLongHeaderSize];
        if (!reader.read(hdr, SP::kShortHeaderSize)) return;
        uint32_t length = SP::shortHeaderLength(hdr);
        if (SP::isLongHeader(hdr)) {
            if (!reader.read(hdr + 2, SP::kLongHeaderSize - 2)) return;
            length = SP::longHeaderLength(hdr);
        }
        if (length > SP::kMaxMessage) {
            logLine("service message of " + std::to_string(length) + " bytes refused; closing the pipe");
            return;
        }
        std::vector<uint8_t> request(length);
        if (!reader.read(request.data(), request.size())) return;
        int32_t command = request.size() >= 4 ? Vdapi::Wire::getI32(request.data()) : INT32_MIN;
        FaultDecision fault = state_.beginRequest(request.size() >= 4 ? serviceKind(command) : "svc:short");
        if (fault.delayMs > 0 && pool_.waitStop(fault.delayMs)) return;
        ServiceAnswer answer;
        if (fault.failWith) {
            const SP::CommandSizes* sizes = SP::findCommand(command);
            answer.reply = serviceResultReply(*fault.failWith, sizes && sizes->reply ? sizes->reply : 8);
            answer.hasReply = !sizes || sizes->reply != 0;
        } else {
            answer = answerServiceRequest(state_, request, c.id);
            if (answer.refreshList) republish();
            if (const int fill = state_.openFill(); fill >= 0 && answer.hasReply)
                fillOpenServiceBytes(command, answer.reply, uint8_t(fill));
            if (fault.corrupt && answer.hasReply && answer.reply.size() >= 4)
                answer.reply.resize(answer.reply.size() - 4);
        }
        if (!answer.hasReply) continue;
        // Header and reply leave in one write.
        uint8_t rh[SP::kLongHeaderSize];
        size_t rhSize = SP::encodeFrameHeader(uint32_t(answer.reply.size()), rh);
        answer.reply.insert(answer.reply.begin(), rh, rh + rhSize);
        if (!writeFull(c.fd.get(), answer.reply.data(), answer.reply.size(), stop)) return;
    }
}

bool ServicePipe::publish() // caller holds mutex_
{
    std::vector<SP::VdeListEntry> entries;
    {
        auto lk = state_.lock();
        const auto& devs = state_.rig().service.devices;
        for (size_t i = 0; i < devs.size(); ++i)
            if (state_.servicePlugged(i)) entries.push_back(devs[i].entry);
    }
    return list_.publish(entries, listVersion_, listCount_.value_or(int32_t(entries.size())), state_.openFill());
}

} // namespace vdsim
