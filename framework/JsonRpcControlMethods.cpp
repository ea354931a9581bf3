// The control methods every brick offers: start, stop, schedule, cancelSchedule, quit,
// setLogFile, setStatusReportInterval, getSettings and setCpuMask.
#include "framework/App.h"
#include "framework/JsonRpcClient.h"
#include "framework/ProcessInfo.h"
#include "log/SharedLogger.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace kel {

namespace {

// Milliseconds beyond which a 100-ns count no longer fits a signed 64-bit integer.
constexpr double kMaxScheduleMs = 9.2e14;

Json emptyObject()
{
    return Json::object();
}

// The member `key` of `object`, or null when `object` is not an object or lacks it.
const Json* member(const Json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// Parameter checks: the first failure ends the method with code 1000 and its message.
class ParamError : public std::exception {
public:
    explicit ParamError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

const Json& requireParams(const Json& request)
{
    const Json* params = member(request, "params");
    if (!params || !params->is_object())
        throw ParamError("params is not present or is not an object");
    return *params;
}

const Json& requireMember(const Json& params, const char* key, bool (Json::*isType)() const noexcept,
                          const std::string& message)
{
    const Json* value = member(params, key);
    if (!value || !((*value).*isType)())
        throw ParamError(message);
    return *value;
}

// Wall-clock milliseconds since 1970 as the scheduler's 100-ns units. Times the unit cannot
// hold are clamped, so a far-future command waits (practically forever) instead of wrapping
// around into the past.
int64_t toDueTime(double milliseconds)
{
    const double ms = std::trunc(milliseconds);
    if (ms >= kMaxScheduleMs)
        return std::numeric_limits<int64_t>::max();
    if (ms <= -kMaxScheduleMs)
        return std::numeric_limits<int64_t>::min();
    return int64_t(ms) * 10000;
}

std::string jsonText(const Json* value)
{
    return value ? value->dump(-1, ' ', false, Json::error_handler_t::replace) : "null";
}

// Runs `body`, turning a failed parameter check into the method's error reply.
template <class Body>
Json withChecks(const Json& request, Body&& body)
{
    const double id = requestId(request);
    try {
        return body(id);
    } catch (const ParamError& e) {
        return makeError(id, 1000, e.what(), emptyObject());
    }
}

} // namespace

void JsonRpcClient::registerControlMethods()
{
    addMethod("start", [this](const Json& request) { return startMethod(request); });
    addMethod("stop", [this](const Json& request) { return stopMethod(request); });
    addMethod("schedule", [this](const Json& request) { return scheduleMethod(request); });
    addMethod("cancelSchedule", [this](const Json& request) { return cancelScheduleMethod(request); });
    addNotificationMethod("quit", [this](const Json&) { quitMethod(); });
    addMethod("setLogFile", [this](const Json& request) { return setLogFileMethod(request); });
    addMethod("setStatusReportInterval", [this](const Json& request) { return setStatusReportIntervalMethod(request); });
    addMethod("getSettings", [this](const Json& request) { return makeResult(requestId(request), getSettings()); });
    addMethod("setCpuMask", [this](const Json& request) { return setCpuMaskMethod(request); });
}

Json JsonRpcClient::startMethod(const Json& request)
{
    if (!app_)
        throw std::runtime_error("No application is attached to the client");
    std::lock_guard lock(startStopMutex_);
    const bool started = app_->start();
    const bool running = app_->isRunning();
    const double id = requestId(request);
    return started ? makeResult(id, running) : makeError(id, 1000, "Failed to start", running);
}

Json JsonRpcClient::stopMethod(const Json& request)
{
    if (!app_)
        throw std::runtime_error("No application is attached to the client");
    std::lock_guard lock(startStopMutex_);
    app_->stop();
    return makeResult(requestId(request), app_->isRunning());
}

Json JsonRpcClient::scheduleMethod(const Json& request)
{
    return withChecks(request, [&](double id) {
        const Json& params = requireParams(request);
        const double time =
            requireMember(params, "time", &Json::is_number, "time is not present or is not a number").get<double>();
        const std::string scheduleId = requireMember(params, "scheduleId", &Json::is_string,
                                                     "scheduleId is not present or is not a string")
                                           .get<std::string>();
        const Json& cmd = requireMember(params, "cmd", &Json::is_object, "cmd is not present or is not an object");
        const Json& method =
            requireMember(cmd, "method", &Json::is_string, "method is not present in cmd, or is not a string");
        if (!dispatcher_.findMethod(method.get_ref<const std::string&>()))
            throw ParamError("Scheduled method is not supported");
        scheduler_.add(toDueTime(time), scheduleId,
                       [this, cmd, scheduleId] { runScheduledCommand(cmd, scheduleId); });
        return makeResult(id, emptyObject());
    });
}

Json JsonRpcClient::cancelScheduleMethod(const Json& request)
{
    return withChecks(request, [&](double id) {
        const Json& params = requireParams(request);
        const auto& scheduleId = requireMember(params, "scheduleId", &Json::is_string,
                                               "scheduleId is not present or is not a string")
                                     .get_ref<const std::string&>();
        if (!scheduler_.cancel(scheduleId))
            throw ParamError("No command with ID " + scheduleId + " has been scheduled");
        return makeResult(id, emptyObject());
    });
}

void JsonRpcClient::runScheduledCommand(const Json& cmd, const std::string& scheduleId)
{
    std::lock_guard lock(handlerMutex_);
    if (closing_)
        return; // quitting: the application may already be gone
    const RequestMethod* method = dispatcher_.findMethod(cmd["method"].get_ref<const std::string&>());
    if (!method)
        return;
    const Json response = (*method)(cmd); // an exception drops the command silently
    const Json* result = member(response, "result");
    const Json* error = member(response, "error");
    Json params = {{"scheduleId", scheduleId},
                   {"cmd", cmd},
                   {"result", result ? *result : Json()},
                   {"error", error ? *error : Json()}};
    onNotification(makeNotification("scheduledCommandExecuted", params));
}

void JsonRpcClient::quitMethod()
{
    {
        // After this no scheduled or received handler runs, so none can reach the
        // application that the entry point destroys next.
        std::lock_guard lock(handlerMutex_);
        closing_ = true;
        closingFlag_ = true;
    }
    setStatusReportInterval(0);
    if (app_)
        app_->requestQuit();
}

Json JsonRpcClient::setLogFileMethod(const Json& request)
{
    return withChecks(request, [&](double id) {
        const Json& params = requireParams(request);
        const auto& path =
            requireMember(params, "path", &Json::is_string, "path is not present or is not a string")
                .get_ref<const std::string&>();
        logger_->setLogFilePath(path); // an unusable file is reported in the log, not here
        return makeResult(id, emptyObject());
    });
}

Json JsonRpcClient::setStatusReportIntervalMethod(const Json& request)
{
    return withChecks(request, [&](double id) {
        const Json& params = requireParams(request);
        const double interval = requireMember(params, "intervalInMs", &Json::is_number,
                                              "intervalInMs is not present or is not a number")
                                    .get<double>();
        if (interval < 0)
            throw ParamError("intervalInMs is negative");
        const double whole = std::trunc(interval);
        setStatusReportInterval(whole >= 9.2e18 ? std::numeric_limits<int64_t>::max() : int64_t(whole));
        return makeResult(id, emptyObject());
    });
}

Json JsonRpcClient::setCpuMaskMethod(const Json& request)
{
    if (!app_)
        throw std::runtime_error("No application is attached to the client");
    return withChecks(request, [&](double id) {
        const Json& params = requireParams(request);
        const Json* text = member(params, "cpuMask");
        if (!text || !text->is_string())
            throw ParamError("cpuMask option is missing or is not a string: " + jsonText(text));
        // Base 0: "0x" hexadecimal, leading 0 octal, decimal otherwise; no digits give 0.
        const uint64_t mask = std::strtoull(text->get_ref<const std::string&>().c_str(), nullptr, 0);
        app_->setCpuMask(mask);
        if (!process::setAffinityMask(mask))
            throw ParamError("Failed to set CPU mask: " + jsonText(text));
        return makeResult(id, emptyObject());
    });
}

} // namespace kel
