// A client that keeps sending batches while one runs, without reading:
// the server stops reading from it once its waiting requests hold its share
// of --max-memory, so the limit holds however much the client pipelines,
// and every request is still answered in order.

#include "wait_for_event.h"

#include "support/process_usage.h"
#include "support/sanitizers.h"
#include "support/sqlemu_process.h"
#include "support/tds_socket_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace sqlemu::test;

constexpr std::size_t kMegabyte = std::size_t{1} << 20;

TEST(SqlemuPipelinedRequests, BatchesQueuedBehindALongOneStayWithinTheMemoryLimit)
{
    constexpr int kLimitMegabytes = 64;
    constexpr int kBatches = 40;
    // What the server holds beyond its budget: its code and stacks, the
    // allocator's slack, a batch's text while it turns into tokens.
    constexpr std::size_t kMargin = 32 * kMegabyte;

    SqlemuOptions options;
    options.extraArguments = {"--max-memory", std::to_string(kLimitMegabytes)};
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    SocketClient client(server.port());
    ASSERT_TRUE(client.login());
    const std::size_t before = processStatusBytes(server.processId(), "VmHWM");

    // 8 MB on the wire each, a comment that makes hardly any tokens.
    const Bytes large = message(0x01, sqlBatch("select 1 --" + std::string(4 * kMegabyte, 'x')));
    std::atomic<bool> allSent = false;
    std::thread sender([&] {
        client.send(message(0x01, sqlBatch("waitfor delay '00:00:02'")));
        for (int i = 0; i < kBatches; ++i)
            client.send(large);
        allSent = true;
    });
    EXPECT_TRUE(happensWithin([&] { return allSent.load(); })) << "the server never read the queued batches";
    sender.join();

    int answered = 0;
    for (int i = 0; i < kBatches + 1; ++i) {
        Bytes all;
        for (const Packet &p : client.responsePackets())
            all.insert(all.end(), p.bytes.begin(), p.bytes.end());
        const Response r = readResponse(all);
        const Token *error = r.find(0xAA);
        EXPECT_EQ(error, nullptr) << "request " << i << ": " << (error ? error->text : "");
        answered += r.find(0xD1) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(answered, kBatches) << "each queued batch answered with its row";
    const std::size_t grown = processStatusBytes(server.processId(), "VmHWM") - before;
    if (kResidentSizeIsMeaningful) {
        EXPECT_LT(grown, kLimitMegabytes * kMegabyte + kMargin) << grown / kMegabyte << " MB";
    }
    RecordProperty("peak_growth_megabytes", static_cast<int>(grown / kMegabyte));
    std::printf("peak growth %zu MB with %d batches of 8 MB queued behind a 2 s one\n", grown / kMegabyte, kBatches);
}

} // namespace
