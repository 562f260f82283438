// The wire trace: what the serial link writes into it against what the virtual ESC took, its
// line format, and the ring of kept lines. The HID reports are checked through the command
// line's trace of a read over the socket.
#include "core/link/wire_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/engine/session.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<TraceLine> Parsed(const WireTrace& trace) {
  std::vector<TraceLine> out;
  for (const std::string& line : trace.Lines()) {
    TraceLine t;
    EXPECT_TRUE(ParseTraceLine(line, t)) << line;
    out.push_back(t);
  }
  return out;
}

class SerialTraceTest : public ::testing::Test {
 protected:
  void Build() {
    session = std::make_unique<Session>(port, &ports, clock, loop, ui);
    session->link.SetTrace(&trace);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
  }
  bool ReadFully() {
    return loop.RunUntil([&] { return ui.reads_finished > 0 && !session->status.transfer_active; },
                         60000);
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  VirtualEscPort port{clock, EscVariant::kFull};
  VirtualPortEnumerator ports{port};
  WireTrace trace{"9.9.9"};
  std::unique_ptr<Session> session;
};

TEST_F(SerialTraceTest, AFullReadTracesEveryByteBothWaysWithEchoesMarked) {
  Build();
  ASSERT_TRUE(ReadFully());
  const std::vector<TraceLine> lines = Parsed(trace);
  ASSERT_FALSE(lines.empty());

  Bytes written;
  uint64_t last_ms = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const TraceLine& t = lines[i];
    EXPECT_GE(t.ms, last_ms) << trace.Lines()[i];
    last_ms = t.ms;
    if (t.kind == "tx") {
      written.insert(written.end(), t.bytes.begin(), t.bytes.end());
      // Probes and reads write one byte at a time and wait for it to return.
      ASSERT_LT(i + 1, lines.size());
      EXPECT_EQ(lines[i + 1].kind, "echo") << trace.Lines()[i + 1];
    } else if (t.kind == "echo") {
      // An echo is the byte the tool wrote just before it, coming back.
      ASSERT_GT(i, 0u);
      EXPECT_EQ(lines[i - 1].kind, "tx");
      EXPECT_EQ(t.bytes, lines[i - 1].bytes);
    } else if (t.kind != "rx") {
      ADD_FAILURE() << "unexpected line on a healthy read: " << trace.Lines()[i];
    }
  }
  EXPECT_EQ(written, port.esc().received());

  // The 31 parameter bytes come back one read at a time in step 4 of the read.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const TraceLine& t) { return t.kind == "rx" && t.step == "read 4"; }),
            31);
  EXPECT_EQ(lines.front().step, "probe");
  EXPECT_EQ(trace.Text().substr(0, trace.Header().size() + 1),
            "# tesselarc wire trace 1 (tesselarc 9.9.9)\n");
}

TEST_F(SerialTraceTest, AnEscThatSendsNothingBackShowsAsTimeouts) {
  port.esc().faults().silent = true;
  Build();
  loop.RunUntil([&] { return trace.size() >= 6; }, 30000);
  const std::vector<std::string> lines = trace.Lines();
  ASSERT_GE(lines.size(), 2u);
  // The probe went out, its echo never came: the line says what was awaited and how long.
  EXPECT_EQ(lines[0], "0 tx [probe] F9");
  EXPECT_EQ(lines[1], "2000 timeout [probe] echo 1 in 2000 ms");
}

TEST(WireTraceFormat, LinesSayWhatCrossedTheCable) {
  WireTrace trace("1.0");
  const uint8_t reply[] = {0xD5, 0x41};
  trace.StartAt(1000);
  trace.SerialRead(1150, false, reply, 1, 2, 150);
  trace.SetStep("send", 31);
  const uint8_t pair[] = {0xA1, 0x05};
  trace.SerialWrite(1151, pair, 1, 2);
  std::vector<uint8_t> report(64, 0);
  report[0] = 0x02;
  report[1] = 3;
  report[2] = 0xD5;
  report[3] = 0x01;
  report[4] = 0x00;
  trace.SetStep("hid", 16);
  trace.HidReport(1200, TraceReport::kOutput, report.data(), report.size());
  // A count byte past the report's end (a device's word) is shown, never read past.
  report[1] = 250;
  trace.HidReport(1201, TraceReport::kInput, report.data(), 6, false);
  std::vector<uint8_t> hello(64, 0);
  hello[0] = 0xFD;
  hello[1] = 'C';
  hello[2] = 'O';
  hello[3] = 'N';
  hello[4] = 'N';
  trace.SetStep("hid open");
  trace.HidReport(1300, TraceReport::kControl, hello.data(), hello.size());
  trace.NoAnswer(1400, "the ESC stopped answering");
  const std::vector<std::string> want = {
      "150 rx [-] D5 (short: 1 of 2 in 150 ms)",
      "151 tx [send 31] A1 (short: 1 of 2 written)",
      "200 output [hid 16] id=02 n=3 D5 01 00",
      "201 input [hid 16] id=02 n=250 D5 01 00 00 (failed)",
      "300 control [hid open] id=FD n=4 43 4F 4E 4E",
      "400 timeout [hid open] input: the ESC stopped answering",
  };
  EXPECT_EQ(trace.Lines(), want);
  TraceLine t;
  ASSERT_TRUE(ParseTraceLine(want[2], t));
  EXPECT_EQ(t.report_id, 2);
  EXPECT_EQ(t.bytes, (Bytes{0xD5, 0x01, 0x00}));
  ASSERT_TRUE(ParseTraceLine(want[0], t));
  EXPECT_EQ(t.bytes, Bytes{0xD5});
  EXPECT_EQ(t.note, "(short: 1 of 2 in 150 ms)");
  EXPECT_FALSE(ParseTraceLine(trace.Header(), t));
}

TEST(WireTraceRing, KeepsExactlyTheLastLinesAndHandsEveryLineToTheSink) {
  WireTrace trace("1.0");
  std::vector<std::string> sunk;
  trace.SetSink([&](const std::string& line) { sunk.push_back(line); });
  const size_t total = WireTrace::kKeptLines + 5;
  for (size_t i = 0; i < total; ++i) {
    const uint8_t b = static_cast<uint8_t>(i);
    trace.SerialWrite(i, &b, 1, 1);
  }
  const std::vector<std::string> kept = trace.Lines();
  ASSERT_EQ(kept.size(), WireTrace::kKeptLines);
  EXPECT_EQ(kept.front(), "5 tx [-] 05");
  EXPECT_EQ(kept.back(), std::to_string(total - 1) + " tx [-] 14");
  // The sink saw the header and every line, the ones the ring let go included.
  ASSERT_EQ(sunk.size(), total + 1);
  EXPECT_EQ(sunk[0], trace.Header());
  EXPECT_EQ(sunk[1], "0 tx [-] 00");
  // The saved text: the header, then the kept lines.
  const std::string text = trace.Text();
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
            WireTrace::kKeptLines + 1);
  EXPECT_TRUE(WireTrace("1.0").empty());
}

}  // namespace
}  // namespace tessel
