#include "tds/packet.h"

#include "support/tds_wire_client.h"

#include <gtest/gtest.h>

using namespace sqlemu::tds;

namespace {

struct FrameCase {
    const char *what;
    Bytes data;
    FrameStatus status;
    std::size_t size;
};

TEST(TdsFrame, ClassifiesHeaders)
{
    const std::vector<FrameCase> cases = {
        {"empty", {}, FrameStatus::Incomplete, 0},
        {"half a header", {0x01, 0x01, 0x00}, FrameStatus::Incomplete, 0},
        {"header only attention", {0x06, 0x01, 0x00, 0x08, 0, 0, 1, 0}, FrameStatus::Complete, 8},
        {"body still missing", {0x01, 0x01, 0x00, 0x0C, 0, 0, 1, 0, 'a', 0}, FrameStatus::Incomplete, 0},
        {"complete with a byte of the next",
         {0x01, 0x01, 0x00, 0x0A, 0, 0, 1, 0, 'a', 0, 0x01},
         FrameStatus::Complete,
         10},
        {"length below the header", {0x01, 0x01, 0x00, 0x04, 0, 0, 1, 0}, FrameStatus::Malformed, 0},
        {"length above 32767", {0x01, 0x01, 0x80, 0x00, 0, 0, 1, 0}, FrameStatus::Malformed, 0},
        {"server-only type", {0x04, 0x01, 0x00, 0x08, 0, 0, 1, 0}, FrameStatus::Malformed, 0},
        {"unknown type", {0x55, 0x01, 0x00, 0x08, 0, 0, 1, 0}, FrameStatus::Malformed, 0},
    };
    for (const auto &c : cases) {
        Frame frame = parseFrame(c.data);
        EXPECT_EQ(frame.status, c.status) << c.what;
        EXPECT_EQ(frame.size, c.size) << c.what;
    }
}

TEST(TdsFrame, RefusesPacketsLargerThanNegotiated)
{
    Bytes big = sqlemu::test::packet(0x01, Bytes(1000, 0));
    EXPECT_EQ(parseFrame(big, 512).status, FrameStatus::Malformed);
    EXPECT_EQ(parseFrame(big, 4096).status, FrameStatus::Complete);
}

TEST(TdsMessageAssembler, JoinsMessagesWhateverTheSplitOfTheReads)
{
    Bytes payload(10000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    Bytes wire = sqlemu::test::message(0x01, payload, 512);
    Bytes second = sqlemu::test::message(0x03, {1, 2, 3});
    wire.insert(wire.end(), second.begin(), second.end());

    for (std::size_t chunk : {1u, 3u, 511u, 512u, 513u, 100000u}) {
        MessageAssembler assembler;
        std::vector<Message> got;
        for (std::size_t at = 0; at < wire.size(); at += chunk) {
            assembler.append(std::span(wire).subspan(at, std::min(chunk, wire.size() - at)));
            Message m;
            while (assembler.next(m) == MessageAssembler::Result::Message)
                got.push_back(m);
        }
        ASSERT_EQ(got.size(), 2u) << "reads of " << chunk;
        EXPECT_EQ(got[0].type, 0x01);
        EXPECT_EQ(got[0].payload, payload);
        EXPECT_EQ(got[1].type, 0x03);
        EXPECT_EQ(got[1].payload, (Bytes{1, 2, 3}));
        EXPECT_FALSE(assembler.hasBufferedBytes());
    }
}

TEST(TdsMessageAssembler, AttentionBetweenPacketsAbandonsTheRequest)
{
    Bytes wire = sqlemu::test::packet(0x01, {1, 2}, 0x00);
    Bytes attention = sqlemu::test::packet(0x06, {});
    wire.insert(wire.end(), attention.begin(), attention.end());
    MessageAssembler assembler;
    assembler.append(wire);
    Message m;
    ASSERT_EQ(assembler.next(m), MessageAssembler::Result::Message);
    EXPECT_EQ(m.type, 0x06);
    EXPECT_TRUE(m.payload.empty());
}

TEST(TdsMessageAssembler, FlagsMalformedStreams)
{
    struct Case {
        const char *what;
        Bytes wire;
    };
    Bytes mixed = sqlemu::test::packet(0x01, {1, 2}, 0x00);
    Bytes rpc = sqlemu::test::packet(0x03, {1, 2});
    mixed.insert(mixed.end(), rpc.begin(), rpc.end());
    const std::vector<Case> cases = {
        {"garbage", {0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF}},
        {"another type inside a message", mixed},
        {"bad length", {0x01, 0x01, 0x00, 0x02, 0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        MessageAssembler assembler;
        assembler.append(c.wire);
        Message m;
        EXPECT_EQ(assembler.next(m), MessageAssembler::Result::Malformed) << c.what;
    }
}

TEST(TdsMessageAssembler, RefusesMessagesAboveTheLimit)
{
    MessageAssembler assembler(1000);
    for (int i = 0; i < 3; ++i)
        assembler.append(sqlemu::test::packet(0x01, Bytes(400, 0), 0x00));
    Message m;
    EXPECT_EQ(assembler.next(m), MessageAssembler::Result::Malformed);
}

TEST(TdsPacketize, FillsPacketsAndMarksOnlyTheLastEndOfMessage)
{
    Bytes payload(1200, 0xAB);
    std::uint8_t id = 0;
    Bytes wire = packetize(PacketType::TabularResult, payload, 512, 51, id);
    ASSERT_EQ(wire.size(), 1200u + 3 * 8);
    std::vector<std::uint8_t> statuses;
    std::size_t total = 0;
    for (std::size_t at = 0; at < wire.size();) {
        std::size_t length = (wire[at + 2] << 8) | wire[at + 3];
        EXPECT_LE(length, 512u);
        EXPECT_EQ(wire[at], 0x04);
        EXPECT_EQ((wire[at + 4] << 8) | wire[at + 5], 51);
        statuses.push_back(wire[at + 1]);
        total += length - 8;
        at += length;
    }
    EXPECT_EQ(total, payload.size());
    EXPECT_EQ(statuses, (std::vector<std::uint8_t>{0, 0, 1}));

    Bytes partial = packetize(PacketType::TabularResult, payload, 4096, 51, id, false);
    EXPECT_EQ(partial[1], 0x00);
}

} // namespace
