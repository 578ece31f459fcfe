#include "gateway_phase.h"

#include <gtest/gtest.h>

namespace zur::host {
namespace {

// Answers the probes from a given one on and writes down every call, one
// letter each: P probe, F script lookup, S start, Z a pause of exactly
// 180 ms (any other pause shows as "?").
class Recorder final : public GatewayInterface {
 public:
  Recorder(int first_answer, bool script_exists) : first_answer_(first_answer), script_exists_(script_exists) {}

  bool probe() override {
    trace += 'P';
    return first_answer_ >= 0 && probes_++ >= first_answer_;
  }
  std::optional<std::u16string> existing_script() override {
    trace += 'F';
    if (!script_exists_) return std::nullopt;
    return u"C:\\gw\\gateway.mjs";
  }
  void start(const std::u16string& script) override {
    trace += 'S';
    started = script;
  }
  void pause(unsigned milliseconds) override { trace += milliseconds == 180 ? 'Z' : '?'; }

  std::string trace;
  std::u16string started;

 private:
  int first_answer_;
  bool script_exists_;
  int probes_ = 0;
};

std::string cycles(int count) {
  std::string trace;
  for (int i = 0; i < count; ++i) trace += "ZP";
  return trace;
}

TEST(GatewayPhase, ProbesPausesAndStartInOrder) {
  constexpr int kNever = -1;
  const struct {
    const char* name;
    int first_answer;  // index of the first probe that answers
    bool script_exists;
    std::string trace;
    bool reachable;
  } cases[] = {
      {"answers at once: nothing else", 0, true, "P", true},
      {"no script, then answers", 1, false, "PFP", true},
      {"no script, never answers", kNever, false, "PFP", false},
      {"answers after the first pause", 1, true, "PFS" + cycles(1), true},
      {"answers after the 7th pause", 7, true, "PFS" + cycles(7), true},
      {"answers after the 20th pause", 20, true, "PFS" + cycles(20), true},
      {"answers only at the final probe", 21, true, "PFS" + cycles(20) + "P", true},
      {"never answers", kNever, true, "PFS" + cycles(20) + "P", false},
  };
  for (const auto& c : cases) {
    Recorder recorder(c.first_answer, c.script_exists);
    EXPECT_EQ(run_gateway_phase(recorder), c.reachable) << c.name;
    EXPECT_EQ(recorder.trace, c.trace) << c.name;
    EXPECT_EQ(recorder.started, c.trace.find('S') != std::string::npos ? u"C:\\gw\\gateway.mjs" : u"") << c.name;
  }
}

}  // namespace
}  // namespace zur::host
