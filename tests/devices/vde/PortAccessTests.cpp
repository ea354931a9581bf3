// Exclusive access to the ports of Ethernet-attached devices: the simulated service's
// arbitration on the pipe, and the channel attaches of the device layer over it.
#include "devices/VdDevice.h"
#include "base/WireBytes.h"
#include "devices/channels/VdInpChannel.h"
#include "devices/channels/VdOutpChannel.h"
#include "devices/vde/ServiceProtocol.h"
#include "devices/vde/ServiceRequest.h"
#include "tests/devices/vde/EthernetRig.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace Vdapi;
using vdetest::kDemod;
using vdetest::kGateway;

constexpr uint8_t kGatewayIp[4] = {198, 51, 100, 21};

/// One raw client of the simulated service, speaking the port commands.
class PortClient {
public:
    explicit PortClient(const std::string& pipe) : pipe_(std::make_unique<vdsim::test::ServiceConnection>(pipe)) {}
    bool connected() const { return pipe_ && pipe_->connected(); }
    void close() { pipe_.reset(); }

    /// Command 4 (requests built as the device layer builds them); the result, the handle in `handle`.
    uint32_t open(int64_t serial, int32_t portPlusOne, uint32_t& handle, const uint8_t (&ip)[4] = kGatewayIp)
    {
        const std::vector<uint8_t> reply = pipe_->call(ServiceRequest::DemodAttach(ip, serial, portPlusOne));
        if (reply.size() != 16)
            return UINT32_MAX;
        handle = Wire::getU32(reply.data() + 8);
        return Wire::getU32(reply.data() + 4);
    }
    /// Command 6 with a wire mode (0 acquire, 1 release, 2 probe).
    uint32_t mode(int64_t serial, int32_t portPlusOne, uint32_t handle, uint32_t wireMode)
    {
        return result(pipe_->call(ServiceRequest::DemodAccessMode(serial, portPlusOne, handle, wireMode)));
    }
    /// Command 5.
    uint32_t closeHandle(int64_t serial, int32_t portPlusOne, uint32_t handle)
    {
        return result(pipe_->call(ServiceRequest::DemodDetach(serial, portPlusOne, handle)));
    }

private:
    static uint32_t result(const std::vector<uint8_t>& reply)
    {
        return reply.size() == 8 ? Wire::getU32(reply.data() + 4) : UINT32_MAX;
    }
    std::unique_ptr<vdsim::test::ServiceConnection> pipe_;
};

constexpr uint32_t kAcquire = 0, kRelease = 1, kProbe = 2;

// The service side needs no network: outside the devices' namespace the simulator names the
// addresses it cannot serve, binds no device, and still serves the pipe and the rest.
TEST(EthernetPortArbitration, ServiceHandsOutHandlesAndArbitratesPortsPerConnection)
{
    START_SIM(sim, vdetest::EthernetRigPath());
    EXPECT_NE(sim.output().find("198.51.100.21 not served"), std::string::npos) << sim.output();
    EXPECT_EQ(sim.control("vde bound"), "ok 0");
    PortClient first(sim.pipePath()), second(sim.pipePath());
    ASSERT_TRUE(first.connected() && second.connected());

    // Handles are distinct per open, per client; unknown devices, addresses and ports refused.
    uint32_t h1 = 0, h1b = 0, h2 = 0, unused = 0;
    ASSERT_EQ(first.open(kGateway, 1, h1), 0u);
    ASSERT_EQ(first.open(kGateway, 1, h1b), 0u);
    ASSERT_EQ(second.open(kGateway, 1, h2), 0u);
    EXPECT_NE(h1, h1b);
    EXPECT_NE(h1, h2);
    EXPECT_NE(h1b, h2);
    EXPECT_EQ(first.open(3137999999, 1, unused), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(first.open(kGateway, 1, unused, {198, 51, 100, 22}), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(first.open(kGateway, 0, unused), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(first.open(kGateway, 5, unused), VDAPI_E_NO_SUCH_PORT);
    // An unplugged device takes no attach; the handles it gave out still close; plugged back, it attaches.
    ASSERT_EQ(sim.control("unplug " + std::to_string(kGateway)), "ok unplugged");
    EXPECT_EQ(first.open(kGateway, 1, unused), VDAPI_E_NO_SUCH_DEVICE);
    EXPECT_EQ(first.closeHandle(kGateway, 1, h1b), 0u);
    ASSERT_EQ(sim.control("plug " + std::to_string(kGateway)), "ok plugged");
    ASSERT_EQ(first.open(kGateway, 1, h1b), 0u);
    EXPECT_EQ(first.mode(kGateway, 1, h1, 3), VDAPI_E_NOT_SUPPORTED);
    EXPECT_EQ(second.mode(kGateway, 1, h1, kProbe), VDAPI_E_INVALID_ARG) << "a handle of another client";
    EXPECT_EQ(first.mode(kGateway, 2, h1, kProbe), VDAPI_E_INVALID_ARG) << "a handle of another port";

    // An acquire claims the port for its connection only.
    EXPECT_EQ(first.mode(kGateway, 1, h1, kAcquire), 0u);
    EXPECT_EQ(first.mode(kGateway, 1, h1b, kProbe), 0u);
    EXPECT_EQ(second.mode(kGateway, 1, h2, kProbe), VDAPI_E_IN_USE);
    EXPECT_EQ(second.mode(kGateway, 1, h2, kAcquire), VDAPI_E_IN_USE);
    EXPECT_EQ(second.mode(kGateway, 1, h2, kRelease), VDAPI_E_IN_USE);
    EXPECT_EQ(sim.control("holds " + std::to_string(kGateway)), "ok 1");
    EXPECT_EQ(sim.control("hold " + std::to_string(kGateway) + " 1"), "error: held by a client connection");
    EXPECT_EQ(first.mode(kGateway, 1, h1, kRelease), 0u);
    EXPECT_EQ(second.mode(kGateway, 1, h2, kProbe), 0u);

    // Closing the acquiring handle frees the port; closing it twice is refused.
    EXPECT_EQ(second.mode(kGateway, 1, h2, kAcquire), 0u);
    EXPECT_EQ(second.closeHandle(kGateway, 1, h2), 0u);
    EXPECT_EQ(sim.control("holds " + std::to_string(kGateway)), "ok 0");
    EXPECT_EQ(second.closeHandle(kGateway, 1, h2), VDAPI_E_INVALID_ARG);

    // The connection's end frees what it held.
    EXPECT_EQ(first.mode(kGateway, 1, h1, kAcquire), 0u);
    first.close();
    ASSERT_TRUE(waitUntil([&] { return sim.control("holds " + std::to_string(kGateway)) == "ok 0"; }));
    ASSERT_EQ(second.open(kGateway, 1, h2), 0u);
    EXPECT_EQ(second.mode(kGateway, 1, h2, kAcquire), 0u);

    // Another user's hold through the control socket, on an Ethernet device's port.
    uint32_t d2 = 0;
    ASSERT_EQ(second.open(kDemod, 2, d2, {198, 51, 100, 22}), 0u);
    EXPECT_EQ(sim.control("hold " + std::to_string(kDemod) + " 2"), "ok held port 2");
    EXPECT_EQ(second.mode(kDemod, 2, d2, kProbe), VDAPI_E_IN_USE);
    EXPECT_EQ(sim.control("holds " + std::to_string(kDemod)), "ok 1");
    EXPECT_EQ(sim.control("release " + std::to_string(kDemod) + " 2"), "ok released port 2");
    EXPECT_EQ(second.mode(kDemod, 2, d2, kProbe), 0u);
    EXPECT_EQ(sim.control("hold " + std::to_string(kDemod) + " 3"), "error: device " + std::to_string(kDemod) + " has 2 ports");
    EXPECT_EQ(sim.control("hold " + std::to_string(kDemod) + " 1 rx"), "error: an Ethernet device's port is held as a whole");

    // A client that never closes its handles is refused at a bound, not served without end;
    // its end frees them.
    auto greedy = std::make_unique<PortClient>(sim.pipePath());
    uint32_t refused = 0, handle = 0;
    int opened = 0;
    while (opened < 5000 && (refused = greedy->open(kGateway, 3, handle)) == 0)
        ++opened;
    EXPECT_EQ(refused, VDAPI_E_OUT_OF_RESOURCES);
    EXPECT_GT(opened, 4000);
    EXPECT_LT(opened, 4096);
    greedy.reset();
    ASSERT_TRUE(waitUntil([&] { return second.open(kGateway, 3, handle) == 0; }));

    EXPECT_EQ(sim.terminate(), 0) << sim.output();
}

using EthernetPortAccess = vdetest::EthernetRig;

TEST_F(EthernetPortAccess, ProbesAndExclusiveAttachesGoThroughTheServiceAndOutlastTheDevice)
{
    IN_PRIVATE_NETWORK();
    ASSERT_NO_FATAL_FAILURE(StartRig());
    VdDeviceInt scanner, user;
    ASSERT_EQ(scanner.AttachBySerial(kGateway), VDAPI_OK);
    ASSERT_EQ(user.AttachBySerial(kGateway), VDAPI_OK);
    const std::string gw = std::to_string(kGateway);
    Control("counters reset");

    // Port 1 is bidirectional, configured input: its direction comes over SOAP, then one open,
    // probe and close on the service.
    VdInpChannel probeIn;
    EXPECT_EQ(probeIn.Attach(&scanner, 1, true, true), VDAPI_OK);
    EXPECT_FALSE(probeIn.IsAttached());
    EXPECT_EQ(Counter("vde:getioconfig:" + gw), 1u);
    EXPECT_EQ(Counter("svc:4"), 1u);
    EXPECT_EQ(Counter("svc:6"), 1u);
    EXPECT_EQ(Counter("svc:5"), 1u);
    VdOutpChannel probeOut;
    EXPECT_EQ(probeOut.Attach(&scanner, 1, true), VDAPI_E_NO_VD_OUTPUT);
    EXPECT_EQ(probeOut.Attach(&scanner, 3, true), VDAPI_OK);
    EXPECT_EQ(probeIn.Attach(&scanner, 3, true, true), VDAPI_E_NO_VD_INPUT);
    EXPECT_EQ(Counter("svc:6"), 2u) << "a direction that does not fit asks the service nothing";

    // Another application's exclusive attach claims the port until it detaches.
    VdInpChannel claim;
    ASSERT_EQ(claim.Attach(&user, 1, true, false), VDAPI_OK);
    EXPECT_TRUE(claim.IsAttached());
    EXPECT_EQ(Control("holds " + gw), "ok 1");
    EXPECT_EQ(probeIn.Attach(&scanner, 1, true, true), VDAPI_E_IN_USE);
    VdInpChannel rival;
    EXPECT_EQ(rival.Attach(&scanner, 1, true, false), VDAPI_E_IN_USE);
    EXPECT_FALSE(rival.IsAttached());
    EXPECT_EQ(probeIn.Attach(&scanner, 2, true, true), VDAPI_OK) << "the other ports stay free";
    EXPECT_EQ(claim.Detach(kDetachInstant), VDAPI_OK);
    EXPECT_EQ(Control("holds " + gw), "ok 0");
    EXPECT_EQ(probeIn.Attach(&scanner, 1, true, true), VDAPI_OK);
    // svc:4 (opens) and svc:5 (closes) pair up: the layer closes every handle it opened.
    EXPECT_EQ(Counter("svc:4"), Counter("svc:5"));

    // An input-only demodulator port reads no direction.
    VdDeviceInt demod;
    ASSERT_EQ(demod.AttachBySerial(kDemod), VDAPI_OK);
    const std::string dm = std::to_string(kDemod);
    EXPECT_EQ(probeIn.Attach(&demod, 2, true, true), VDAPI_OK);
    EXPECT_EQ(Counter("vde:getioconfig:" + dm), 0u);

    // The service's answers for a held port (its arbitration is EthernetPortArbitration's) reach
    // the caller: the driver-style "held by another user" answer means the same; any other
    // refusal of the access mode is passed on, and the handle is closed all the same.
    Control("fail svc:6 1 " + std::to_string(0xE000000Au));
    EXPECT_EQ(probeIn.Attach(&demod, 1, true, true), VDAPI_E_IN_USE);
    Control("fail svc:6 1 " + std::to_string(VDAPI_E_DEV_DRIVER));
    EXPECT_EQ(probeIn.Attach(&demod, 1, true, true), VDAPI_E_DEV_DRIVER);
    Control("fail svc:6 1 " + std::to_string(VDAPI_E_IN_USE));
    EXPECT_EQ(claim.Attach(&demod, 1, true, false), VDAPI_E_IN_USE);
    EXPECT_EQ(Control("holds " + dm), "ok 0");

    // A claim lasts past the device's detach: the channel keeps the device's service
    // connection until it goes.
    {
        VdDeviceInt owner;
        ASSERT_EQ(owner.AttachBySerial(kGateway), VDAPI_OK);
        VdOutpChannel output;
        ASSERT_EQ(output.Attach(&owner, 4, false), VDAPI_OK);
        EXPECT_EQ(Control("holds " + gw), "ok 1");
        EXPECT_EQ(owner.Detach(), VDAPI_OK);
        EXPECT_EQ(Control("holds " + gw), "ok 1");
    }
    EXPECT_EQ(Control("holds " + gw), "ok 0") << "the channel released the port";
    EXPECT_EQ(Counter("svc:4"), Counter("svc:5"));

    // A refused open leaves nothing to close.
    Control("fail svc:4 1 " + std::to_string(VDAPI_E_NO_SUCH_PORT));
    EXPECT_EQ(probeIn.Attach(&demod, 1, true, true), VDAPI_E_NO_SUCH_PORT);
    EXPECT_EQ(Counter("svc:4"), Counter("svc:5") + 1);
}

} // namespace
