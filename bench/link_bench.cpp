// CPU cost of the hot paths: one transaction through the link stack, the text work of the byte pump,
// and the log record. None of them may take a noticeable share of a 10 ms tick.
#include <benchmark/benchmark.h>

#include "core/common/c_format.h"
#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link_memory.h"
#include "core/link/test_support.h"
#include "core/link/transaction.h"
#include "core/monitor/device_model.h"
#include "core/monitor/variable_log.h"
#include "core/tick/ticker.h"
#include "unitsim/unit_codec.h"

namespace gelvar {
namespace {

void TickOnce() {
  link_step();
  link_build_frame();
  link_check_slots();
  link_timer(static_cast<std::uint32_t>(tickPeriod));
  linkTransaction.Step();
}

// Start, tick, send, answer, fetch, poll: the whole exchange for one object without a line.
void BM_TransactionRoundTrip(benchmark::State& state) {
  ResetLinkStateForTests();
  tickPeriod = 10;
  StartLink();
  linkMemory.txRegister = -1;
  const std::vector<std::uint8_t> reply = unitsim::EncodeFrame(0x0C84, {0x70, 0x17, 0x5E, 0x17});
  ObjectRequest out{};
  for (auto _ : state) {
    linkTransaction.Start(0x0C84, nullptr);
    int result = kPollBusy;
    while (result == kPollBusy) {
      TickOnce();
      bool sent = false;
      while (linkMemory.txRegister >= 0) {
        linkMemory.txRegister = -1;
        drv_tx_next(0);
        sent = true;
      }
      if (sent) {
        for (std::uint8_t b : reply) {
          linkMemory.rxRegister = b;
          drv_rx_byte(0);
        }
      }
      result = linkTransaction.Poll(&out, nullptr, nullptr, nullptr);
    }
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_TransactionRoundTrip);

void BM_ReceiveByte(benchmark::State& state) {
  ResetLinkStateForTests();
  StartLink();
  const std::vector<std::uint8_t> frame = unitsim::EncodeFrame(0x0C07, {1, 2, 3, 4});
  for (auto _ : state) {
    for (std::uint8_t b : frame) {
      linkMemory.rxRegister = b;
      drv_rx_byte(0);
    }
    linkMemory.converter.slotStatus[0] = 0;
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(BM_ReceiveByte);

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
