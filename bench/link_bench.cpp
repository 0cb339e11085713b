// CPU cost of the hot paths: one transaction through the link stack, the text work of the byte pump,
// and the log record. None of them may take a noticeable share of a 10 ms tick.
#include <benchmark/benchmark.h>

#include "core/common/c_format.h"
#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link.h"
#include "core/monitor/device_model.h"
#include "core/monitor/variable_log.h"
#include "core/tick/ticker.h"
#include "unitsim/unit_codec.h"

namespace gelvar {
namespace {

void TickOnce(Link& link, LinkTransaction& transaction) {
  link_step(link);
  link_build_frame(link);
  link_check_slots(link);
  link_timer(link, static_cast<std::uint32_t>(link.periods.tick));
  transaction.Step();
}

// Start, tick, send, answer, fetch, poll: the whole exchange for one object without a line.
void BM_LinkTransactionRoundTrip(benchmark::State& state) {
  Link link;
  LinkTransaction transaction(link);
  StartLink(link);
  link.memory.txRegister = -1;
  const std::vector<std::uint8_t> reply = unitsim::EncodeFrame(0x0C84, {0x70, 0x17, 0x5E, 0x17});
  ObjectRequest out{};
  for (auto _ : state) {
    transaction.Start(0x0C84, nullptr);
    int result = kPollBusy;
    while (result == kPollBusy) {
      TickOnce(link, transaction);
      bool sent = false;
      while (link.memory.txRegister >= 0) {
        link.memory.txRegister = -1;
        drv_tx_next(link, 0);
        sent = true;
      }
      if (sent) {
        for (std::uint8_t b : reply) drv_rx_byte(link, 0, b);
      }
      result = transaction.Poll(&out, nullptr, nullptr, nullptr);
    }
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_LinkTransactionRoundTrip);

void BM_LinkReceiveByte(benchmark::State& state) {
  Link link;
  StartLink(link);
  const std::vector<std::uint8_t> frame = unitsim::EncodeFrame(0x0C07, {1, 2, 3, 4});
  for (auto _ : state) {
    for (std::uint8_t b : frame) drv_rx_byte(link, 0, b);
    link.memory.converter.slotStatus[0] = 0;
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(BM_LinkReceiveByte);

void BM_LogRecord(benchmark::State& state) {
  VariableSnapshot values;
  for (auto _ : state) benchmark::DoNotOptimize(LogRecord(42, 1780000000, values));
}
BENCHMARK(BM_LogRecord);

void BM_CFormatFloat(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CFormat("%7.1f", -12.5));
}
BENCHMARK(BM_CFormatFloat);

}  // namespace
}  // namespace gelvar

BENCHMARK_MAIN();
