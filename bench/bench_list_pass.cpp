// One idle pass of the accept loop with a 20-row list over sources of 1 000 and 1 000 000 rows,
// a shown cell changing before every pass so the page is formatted and sent each time. The
// pass must cost the rows shown, so both sizes take the same time. Beside it, the raw work
// beneath: formatting the same 20 rows' cells through the columns' pictures.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "runtime/core/types.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/window.h"

namespace {

constexpr const char* kFormat = "64R(2)|M~ID~C(0)@n-14@80L(2)|M~Name~L(2)@s20@";
constexpr rt::Long kShown = 20;

// Rows computed from their number; `version` changes what the shown rows hold.
class Numbers final : public rt::ListSource {
 public:
  explicit Numbers(rt::Long rows) : rows_(rows) {}
  rt::Long RowCount() const override { return rows_; }
  std::string Value(rt::Long row, rt::Long field) const override {
    return field == 1 ? std::to_string(row * 7 + version) : "Row " + std::to_string(row);
  }
  rt::Long version = 0;

 private:
  rt::Long rows_;
};

void ListPass(benchmark::State& state) {
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeHeadlessBackend();
  backend->Start();
  rt::ui::InstallBackend(backend.get());
  {
    Numbers source(state.range(0));
    rt::WindowDef def;
    def.title = "Pass";
    const rt::Long list = def.Add(rt::ControlDef::List(kFormat).At(0, 0, 200, kShown * 10 + 10));  // + the heading line
    const rt::Long button = def.Add(rt::ControlDef::Button("&Go"));
    rt::Window window(def);
    window.Open();
    window.SetListSource(list, &source);
    while (window.Accept() && window.CurrentEvent().code != rt::EVENT_Selected) {
    }
    for (auto _ : state) {
      ++source.version;
      // One press: the loop refreshes the window once, then hands out the press.
      rt::ui::SendInput({rt::ui::InputKind::Press, window.Id(), button, 0, 0, 0, {}, 0});
      window.Accept();
      benchmark::DoNotOptimize(window.CurrentEvent().code);
    }
    window.Close();
  }
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
}
BENCHMARK(ListPass)->Arg(1000)->Arg(1000000);

void RawFormatOfThePage(benchmark::State& state) {
  Numbers source(state.range(0));
  const auto columns = rt::ParseListFormat(kFormat);
  for (auto _ : state) {
    ++source.version;
    for (rt::Long row = 1; row <= kShown; ++row)
      for (const rt::ListColumn& column : *columns)
        benchmark::DoNotOptimize(rt::FormatCell(column, source.Value(row, column.fieldNo)));
  }
}
BENCHMARK(RawFormatOfThePage)->Arg(1000)->Arg(1000000);

}  // namespace

BENCHMARK_MAIN();
