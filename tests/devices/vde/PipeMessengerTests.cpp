// Message framing over a real local pipe: header forms at the size boundary, and announced
// lengths beyond the limit refused.
#include "devices/vde/PipeMessenger.h"

#include "base/WireBytes.h"
#include "devices/platform/Xp.h"
#include "tests/devices/platform/TestRunDir.h"

#include <gtest/gtest.h>

#include <thread>

namespace Vdapi {
namespace {

class PipeMessengerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener_ = Xp::NewPipeListener();
        ASSERT_TRUE(listener_);
        ASSERT_EQ(listener_->Create("TestPipe"), VDAPI_OK);
        ASSERT_TRUE(messenger_.Init());
        ASSERT_TRUE(messenger_.Connect("TestPipe"));
        ASSERT_EQ(listener_->Accept(server_, 10000), VDAPI_OK);
    }
    /// Reads n raw bytes at the server end.
    std::vector<uint8_t> serverRead(size_t n)
    {
        std::vector<uint8_t> bytes(n);
        EXPECT_EQ(server_->Read(bytes.data(), uint32_t(n), 10000), VDAPI_OK);
        return bytes;
    }
    void serverWrite(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(server_->Write(bytes.data(), uint32_t(bytes.size()), 10000), VDAPI_OK);
    }

    TestSupport::TempRunDir runDir_;
    std::unique_ptr<IXpPipeListener> listener_;
    std::unique_ptr<IXpPipeConnection> server_;
    PipeMessenger messenger_{1u << 20};
};

TEST_F(PipeMessengerTest, HeaderFormAtTheBoundaryAndPayloadIntact)
{
    std::vector<uint8_t> longPayload(70000);
    for (size_t i = 0; i < longPayload.size(); ++i) longPayload[i] = uint8_t(i * 7);
    using Bytes = std::vector<uint8_t>;
    for (const auto& [payload, expectedHeader] :
         {std::pair{longPayload, Bytes{0xFF, 0xFF, 0, 0, 0x70, 0x11, 0x01, 0}},
          std::pair{Bytes(65534, 0x5A), Bytes{0xFE, 0xFF}}}) {
        SCOPED_TRACE(payload.size());
        Bytes header, body;
        std::thread reader([&] {
            header = serverRead(expectedHeader.size());
            body = serverRead(payload.size());
        });
        EXPECT_TRUE(messenger_.Send(payload.data(), uint32_t(payload.size())));
        reader.join();
        EXPECT_EQ(header, expectedHeader);
        EXPECT_EQ(body, payload);
    }
}

TEST_F(PipeMessengerTest, ReceivesBothHeaderFormsAndRefusesOversizedAnnouncements)
{
    std::vector<uint8_t> got;
    serverWrite({3, 0, 'a', 'b', 'c'});
    ASSERT_TRUE(messenger_.Receive(got, 10000));
    EXPECT_EQ(got, (std::vector<uint8_t>{'a', 'b', 'c'}));

    // The long form is accepted for any length, including short ones.
    serverWrite({0xFF, 0xFF, 0, 0, 2, 0, 0, 0, 'x', 'y'});
    ASSERT_TRUE(messenger_.Receive(got, 10000));
    EXPECT_EQ(got, (std::vector<uint8_t>{'x', 'y'}));

    // 4 GiB - 1 announced: refused from the header alone, nothing allocated or read.
    serverWrite({0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'z'});
    EXPECT_FALSE(messenger_.Receive(got, 10000));
    EXPECT_TRUE(got.empty());

    // A payload cut short by the peer closing fails instead of returning a partial message.
    messenger_.Flush();
    serverWrite({10, 0, 1, 2, 3});
    server_->Close();
    EXPECT_FALSE(messenger_.Receive(got, 10000));
    EXPECT_TRUE(got.empty());
}

TEST_F(PipeMessengerTest, SendWithoutAPeerOrOverLimitIsRefusedWithoutTraffic)
{
    PipeMessenger small(Xp::NewPipeConnection(), 16);
    ASSERT_TRUE(small.Init());
    // A missing pipe: no connection, nothing sent or received.
    EXPECT_FALSE(small.Connect("NoSuchPipe"));
    uint8_t byte = 0;
    EXPECT_FALSE(small.Send(&byte, 1));
    std::vector<uint8_t> got;
    EXPECT_FALSE(small.Receive(got, 0));

    ASSERT_TRUE(small.Connect("TestPipe"));
    std::unique_ptr<IXpPipeConnection> second;
    ASSERT_EQ(listener_->Accept(second, 10000), VDAPI_OK);
    std::vector<uint8_t> big(17, 1);
    EXPECT_FALSE(small.Send(big.data(), uint32_t(big.size())));
    EXPECT_EQ(second->Read(&byte, 1, 0), VDAPI_E_TIMEOUT);
    EXPECT_TRUE(small.Send(big.data(), 16));
}

} // namespace
} // namespace Vdapi
