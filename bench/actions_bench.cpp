// Host time of each window action with 1, 8 and 255 drives on each
// transport, with the platform calls and device commands one action makes;
// detection against a bare loop of the same 188 commands; and a refresh
// against the length of the stored value.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "bench/benchmachine.h"
#include "drive/tcddrive.h"
#include "scsi/uaspi.h"
#include "scsi/uspti.h"

namespace {

using bench::Route;
using Action = std::function<void(TForm1&, bench::View&)>;

// Counts one action's calls and commands, then times it.
void ActionBenchmark(benchmark::State& state, Route route, const Action& action,
                     bool recreate = false) {
  bench::SetUpMachine(route, static_cast<int>(state.range(0)));
  bench::View view;
  TForm1 form(view);
  bench::StoreListsAndSelectLast(form, view);
  view.speeds.index = 1;
  if (recreate) form.FormDestroy();

  winsim::Machine& m = winsim::machine();
  const int calls = bench::TotalCalls();
  const size_t commands = m.commands.size();
  action(form, view);
  state.counters["calls"] = bench::TotalCalls() - calls;
  state.counters["commands"] = static_cast<double>(m.commands.size() - commands);

  for (auto _ : state) {
    action(form, view);
    // The simulated machine logs every command; keep the log from growing.
    if (m.commands.size() > 100000) m.commands.clear();
    if (m.aspi.log.size() > 100000) m.aspi.log.clear();
  }
  if (!recreate) form.FormDestroy();
}

void StartUp(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View&) {
    form.FormCreate();
    form.FormDestroy();
  }, true);
}
void Refresh(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View&) { form.cbdriveChange(); });
}
void Choice(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View& view) {
    view.speeds.index = 1;
    form.cbvelChange();
  });
}
void Detection(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View&) { form.btdetectClick(); });
}
void Load(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View&) { form.btloadClick(); });
}
void Eject(benchmark::State& state, Route route) {
  ActionBenchmark(state, route, [](TForm1& form, bench::View&) { form.btejectClick(); });
}

#define PER_ROUTE(action)                                                              \
  BENCHMARK_CAPTURE(action, spti, Route::Spti)->Arg(1)->Arg(8)->Arg(255)->Unit(        \
      benchmark::kMicrosecond);                                                        \
  BENCHMARK_CAPTURE(action, aspi, Route::Aspi)->Arg(1)->Arg(8)->Arg(255)->Unit(        \
      benchmark::kMicrosecond)

PER_ROUTE(StartUp);
PER_ROUTE(Refresh);
PER_ROUTE(Choice);
PER_ROUTE(Detection);
PER_ROUTE(Load);
PER_ROUTE(Eject);

// A refresh over one drive whose stored value is range(0) KB of one-digit
// fields: the time should grow in step with the length.
void RefreshLength(benchmark::State& state) {
  bench::SetUpMachine(Route::Spti, 1);
  bench::View view;
  TForm1 form(view);
  bench::StoreListsAndSelectLast(form, view);
  const size_t bytes = static_cast<size_t>(state.range(0)) * 1024;
  std::string list = "65535,";
  while (list.size() + 2 <= bytes) list += "1,";
  winsim::SetString(HKEY_CURRENT_USER, bench::kStore, cddrives.at(0).description + " DVD", list);
  form.cbdriveChange();
  state.counters["entries"] = view.speeds.Count();
  state.counters["bytes"] = static_cast<double>(list.size());
  for (auto _ : state) {
    form.cbdriveChange();
    winsim::machine().commands.clear();
  }
  form.FormDestroy();
}
BENCHMARK(RefreshLength)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

// Shut-down alone: the window is created again, untimed, before each one.
void ShutDown(benchmark::State& state, Route route) {
  bench::SetUpMachine(route, static_cast<int>(state.range(0)));
  bench::View view;
  TForm1 form(view);
  bench::StoreListsAndSelectLast(form, view);
  const int calls = bench::TotalCalls();
  form.FormDestroy();
  state.counters["calls"] = bench::TotalCalls() - calls;
  state.counters["commands"] = 0;
  for (auto _ : state) {
    state.PauseTiming();
    form.FormCreate();
    state.ResumeTiming();
    form.FormDestroy();
  }
}
BENCHMARK_CAPTURE(ShutDown, spti, Route::Spti)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ShutDown, aspi, Route::Aspi)->Arg(1)->Unit(benchmark::kMicrosecond);

// Detection on a drive object against the same 188 commands sent straight
// to the transport: the first read, 93 request and read-back pairs, the
// final request. The two run in turn within each iteration, so drift in the
// machine's speed touches both alike.
class BareLoop {
 public:
  BareLoop(Route route, const tcddriveinfo& info) : route_(route), info_(info) {
    if (route == Route::Spti)
      handle_ = OpenCdRomDevice(FindCdRomIndex(info.adapter, info.target, info.lun));
  }
  ~BareLoop() {
    if (route_ == Route::Spti) CloseDevice(handle_);
  }

  void Run() {
    const uint16_t saved = Read();
    for (unsigned step = 47; step >= 7; --step) {
      Set(static_cast<uint16_t>(step * 1385));
      benchmark::DoNotOptimize(Read());
    }
    for (unsigned step = 52; step >= 1; --step) {
      Set(static_cast<uint16_t>(step * 177));
      benchmark::DoNotOptimize(Read());
    }
    Set(saved);
  }

 private:
  void Send(const uint8_t* cdb, uint8_t length, void* buffer, uint32_t size, tdirection direction) {
    if (route_ == Route::Spti)
      SptiExecute(handle_, cdb, length, buffer, size, direction);
    else
      AspiExecute(info_.adapter, info_.target, info_.lun, cdb, length, buffer, size, direction);
  }
  uint16_t Read() {
    uint8_t cdb[16] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24};  // MODE SENSE(10), page 2Ah
    uint8_t reply[24];
    std::memset(reply, 0, sizeof reply);
    Send(cdb, 10, reply, sizeof reply, dirIn);
    return static_cast<uint16_t>(reply[22] << 8 | reply[23]);
  }
  void Set(uint16_t speed) {
    uint8_t cdb[16] = {0xBB, 0, static_cast<uint8_t>(speed >> 8), static_cast<uint8_t>(speed)};
    Send(cdb, 12, nullptr, 0, dirNone);
  }

  Route route_;
  tcddriveinfo info_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

void DetectionOverhead(benchmark::State& state, Route route) {
  bench::SetUpMachine(route, 1);
  InitAspiSpti(tpAuto);
  const tcddriveinfo info = cddrives.at(0);
  double detect = 0, bare = 0;
  {
    tcddrive drive(info.adapter, info.target, info.lun);
    BareLoop loop(route, info);
    tdynwordarray list;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
      const auto t0 = Clock::now();
      drive.DetectSpeeds(list);
      const auto t1 = Clock::now();
      loop.Run();
      const auto t2 = Clock::now();
      detect += std::chrono::duration<double, std::micro>(t1 - t0).count();
      bare += std::chrono::duration<double, std::micro>(t2 - t1).count();
      benchmark::DoNotOptimize(list.data());
      winsim::machine().commands.clear();
      winsim::machine().aspi.log.clear();
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["detect_us"] = detect / n;
  state.counters["bare_us"] = bare / n;
  state.counters["ratio"] = detect / bare;
  DoneAspiSpti();
}

BENCHMARK_CAPTURE(DetectionOverhead, spti, Route::Spti)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DetectionOverhead, aspi, Route::Aspi)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
