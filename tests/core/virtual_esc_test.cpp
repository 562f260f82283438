#include "sim/virtual_esc.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/link/serial_link.h"
#include "core/link/clock.h"
#include "sim/pty_server.h"
#include "sim/virtual_esc_port.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

// Feeds the host bytes at `baud` and returns everything the line carried back.
Bytes FeedAll(VirtualEsc& esc, const Bytes& bytes, uint32_t baud = 1200) {
  Bytes out;
  for (uint8_t b : bytes) esc.Feed(b, baud, out);
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(VirtualEsc, EchoesEveryByteThenAnswersTheProbe) {
  VirtualEsc esc;
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD5, 0x41}));
  EXPECT_EQ(FeedAll(esc, {0x01, 0x77}), (Bytes{0x01, 0x77}));
  EXPECT_EQ(esc.received(), (Bytes{0xF9, 0x01, 0x77}));
  esc.ClearReceived();
  EXPECT_TRUE(esc.received().empty());
}

TEST(VirtualEsc, PresenceFaults) {
  VirtualEsc esc;
  esc.faults().silent_probes = 2;
  EXPECT_EQ(FeedAll(esc, {0xF9, 0xF9}), (Bytes{0xF9, 0xF9}));
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD5, 0x41}));

  esc.faults().presence_reply = {0xD6, 0x07};
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD6, 0x07}));

  // An unplugged line: not even the echo, but the bytes are still logged as sent.
  esc.faults().silent = true;
  EXPECT_TRUE(FeedAll(esc, {0xF9, 0xD5}).empty());
  EXPECT_EQ(esc.received().size(), 6u);
}

TEST(VirtualEsc, SpeedPolicyKeepsTheEchoButDropsTheMeaning) {
  VirtualEsc esc;
  esc.faults().answer_at = SpeedPolicy::kOnly1200;
  EXPECT_EQ(FeedAll(esc, {0xF9}, 19200), (Bytes{0xF9}));
  EXPECT_EQ(FeedAll(esc, {0xF9}, 1200), (Bytes{0xF9, 0xD5, 0x41}));
  // A setting sent at the wrong speed never reaches the ESC.
  const int before = esc.image().run_mode;
  FeedAll(esc, {0xA4, static_cast<uint8_t>(before + 1)}, 19200);
  EXPECT_EQ(esc.image().run_mode, before);
  // ... nor does it leave the ESC half-way through a pair.
  EXPECT_EQ(FeedAll(esc, {0xD5}, 1200), (Bytes{0xD5, 0x2A}));
}

TEST(VirtualEsc, IdentifiesItsVariant) {
  VirtualEsc full(EscVariant::kFull), v1(EscVariant::kV1), bec(EscVariant::kV1Bec);
  EXPECT_EQ(FeedAll(full, {0xD5}), (Bytes{0xD5, 0x2A}));
  EXPECT_EQ(FeedAll(bec, {0xD5}), (Bytes{0xD5, 0x2B}));
  EXPECT_EQ(FeedAll(v1, {0xD5}), (Bytes{0xD5, 0x2C}));
  full.faults().silent_identify = true;
  EXPECT_EQ(FeedAll(full, {0xD5}), (Bytes{0xD5}));
}

TEST(VirtualEsc, FullBlockFollowsTheReadOrder) {
  VirtualEsc esc;
  esc.image().turbo_slope_off = 9;
  const Bytes out = FeedAll(esc, {0xD8});
  ASSERT_EQ(out.size(), 1u + kFullEscParamCount);
  EXPECT_EQ(out[0], 0xD8);
  for (const ParamField& f : FullEscFields()) {
    EXPECT_EQ(out[1 + static_cast<size_t>(f.read_index)], esc.image().*f.field) << f.name;
  }
  EXPECT_EQ(out[1 + 26], 9);
  // The logged run data ends the block.
  EXPECT_EQ((Bytes(out.end() - 4, out.end())), (Bytes{74, 65, 58, 45}));

  esc.faults().param_block_limit = 10;
  EXPECT_EQ(FeedAll(esc, {0xD8}).size(), 11u);
}

TEST(VirtualEsc, V1BlocksCarryTheCutoffAsCode) {
  VirtualEsc v1(EscVariant::kV1), bec(EscVariant::kV1Bec);
  v1.image().v1_cutoff_voltage = 5;
  const Bytes a = FeedAll(v1, {0xD8});
  ASSERT_EQ(a.size(), 1u + 14);
  const Bytes block(a.begin() + 1, a.end());
  EXPECT_EQ(block[0], 47);
  EXPECT_EQ(block[2], v1.image().v1_running_mode);
  EXPECT_EQ(block[11], v1.image().v1_motor_rotation);
  for (size_t filler : {1, 9, 12, 13}) EXPECT_EQ(block[filler], VirtualEsc::kV1BlockFiller);

  const Bytes b = FeedAll(bec, {0xD8});
  ASSERT_EQ(b.size(), 1u + 16);
  EXPECT_EQ(b[1 + 0], 44);
  EXPECT_EQ(b[1 + 14], bec.image().v1_bec_voltage);
  EXPECT_EQ(b[1 + 15], VirtualEsc::kV1BlockFiller);
}

TEST(VirtualEsc, VersionTextCarriesAHexNumberFromItsFourthCharacter) {
  VirtualEsc esc;
  const Bytes out = FeedAll(esc, {0xD7});
  ASSERT_EQ(out.size(), 8u);
  const std::string text(out.begin() + 1, out.end());
  EXPECT_EQ(text, "ESC0120");
  unsigned number = 0;
  ASSERT_EQ(std::sscanf(text.c_str() + 3, "%6x", &number), 1);
  EXPECT_EQ(number, 0x120u);
  esc.set_version_text("ESC1A2B9");  // cut to seven
  EXPECT_EQ(FeedAll(esc, {0xD7}).size(), 8u);
  EXPECT_EQ(esc.version_text(), "ESC1A2B");
}

TEST(VirtualEsc, CurveReadsSendHandshakeWireBytesAndCheck) {
  VirtualEsc esc;
  esc.faults().bad_curve_check[kBrakeCurve] = true;
  const EscSettingsImage& im = esc.image();
  struct Case {
    uint8_t command;
    const CurveData& curve;
    size_t check_length;
    bool bad;
  };
  const Case cases[] = {{0xDE, im.boost_curve, 2, false},
                        {0xDB, im.brake_curve, 2, true},
                        {0xD9, im.throttle_curve, 4, false}};
  for (const Case& c : cases) {
    const Bytes out = FeedAll(esc, {c.command});
    ASSERT_EQ(out.size(), 2 + 120 + c.check_length) << int(c.command);
    EXPECT_EQ(out[1], 0x80);
    for (int pos = 0; pos < 120; ++pos) {
      ASSERT_EQ(out[2 + static_cast<size_t>(pos)], CurveWireByte(c.curve, pos)) << pos;
    }
    const auto check = CurveCheckBytes(c.curve);
    EXPECT_EQ(out[122], check[0]);
    EXPECT_EQ(out[123] != check[1], c.bad) << int(c.command);
    if (c.check_length == 4) {
      EXPECT_EQ((Bytes{out[124], out[125]}), (Bytes{0, 0}));
    }
  }
  // The sample throttle curve is a real custom curve, not a straight line.
  EXPECT_EQ(im.throttle_curve_mode, 1);
  EXPECT_NE(im.throttle_curve.table[10], 27);
}

// What a full-ESC send puts on the line: settings pairs, end of settings, three fillers, then
// each custom curve with its check value and fillers.
Bytes FullSend(const EscSettingsImage& im, const Bytes& curve_part) {
  Bytes wire;
  for (const ParamField& f : FullEscFields()) {
    if (!f.set_command) continue;
    wire.push_back(*f.set_command);
    wire.push_back(static_cast<uint8_t>(im.*f.field));
  }
  wire.insert(wire.end(), {0xAF, 16, 1, 1, 1});
  wire.insert(wire.end(), curve_part.begin(), curve_part.end());
  return wire;
}

Bytes CurveWrite(uint8_t command, const CurveData& curve, std::array<uint8_t, 2> check,
                 int fillers) {
  Bytes wire{command};
  for (int pos = 0; pos < 120; ++pos) wire.push_back(CurveWireByte(curve, pos));
  wire.insert(wire.end(), check.begin(), check.end());
  wire.insert(wire.end(), static_cast<size_t>(fillers), 1);
  return wire;
}

TEST(VirtualEsc, FullSendUpdatesSettingsAndCheckedCurves) {
  VirtualEsc esc;
  EscSettingsImage wanted;  // all settings 0
  wanted.reverse_speed = 3;
  wanted.turbo_slope_off = 5;
  CurveData line;
  line.x[1] = 100;
  line.y[1] = 100;
  SampleCurve(line, 2);
  CurveData other = line;
  other.y[0] = 20;
  auto bad = CurveCheckBytes(other);
  bad[0] ^= 1;

  const Bytes wire = FullSend(wanted, Cat({CurveWrite(0xDF, line, CurveCheckBytes(line), 5),
                                           CurveWrite(0xDC, other, bad, 5)}));
  const Bytes out = FeedAll(esc, wire);
  EXPECT_EQ(out, wire) << "a full ESC answers a send with its echo only";
  EXPECT_EQ(esc.received(), wire);

  EXPECT_EQ(esc.image().run_mode, 0);
  EXPECT_EQ(esc.image().reverse_speed, 3);
  EXPECT_EQ(esc.image().turbo_slope_off, 5);
  EXPECT_EQ(esc.image().log_batt_min_voltage, 74) << "read-only data is never written";
  EXPECT_EQ(esc.end_of_settings_count(), 1);
  EXPECT_EQ(esc.pairs().size(), 28u);

  ASSERT_EQ(esc.received_curves().size(), 2u);
  EXPECT_EQ(esc.received_curves()[0].which, kBoostCurve);
  EXPECT_TRUE(esc.received_curves()[0].check_matched);
  EXPECT_EQ(esc.image().boost_curve.table, line.table);
  // A damaged brake curve is kept for inspection but not taken into the ESC.
  EXPECT_EQ(esc.received_curves()[1].which, kBrakeCurve);
  EXPECT_FALSE(esc.received_curves()[1].check_matched);
  EXPECT_EQ(esc.received_curves()[1].wire.y[0], 20);
  EXPECT_EQ(esc.image().brake_curve.table, SampleFullEscImage().brake_curve.table);

  // Back in command mode after the fillers.
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD5, 0x41}));
}

TEST(VirtualEsc, V1PairsAnswerReadyAndMapTheCutoffCode) {
  VirtualEsc esc(EscVariant::kV1);
  EXPECT_EQ(FeedAll(esc, {0xE2, 0}), (Bytes{0xE2, 0, 0x01}));
  EXPECT_EQ(esc.image().v1_running_mode, 0);
  FeedAll(esc, {0xEC, 47});
  EXPECT_EQ(esc.image().v1_cutoff_voltage, 5);
  FeedAll(esc, {0xEC, 45});  // no such code
  EXPECT_EQ(esc.image().v1_cutoff_voltage, 5);
  // The BEC command means nothing to the 14-byte model but is still acknowledged.
  const int bec = esc.image().v1_bec_voltage;
  const uint8_t flipped = static_cast<uint8_t>(bec ^ 1);
  EXPECT_EQ(FeedAll(esc, {0xA1, flipped}), (Bytes{0xA1, flipped, 0x01}));
  EXPECT_EQ(esc.image().v1_bec_voltage, bec);
  // The tail of the host's V1 sequence: pairs with no setting behind them.
  const Bytes tail{0xE9, 1, 0xA2, 1, 0xED, 0, 0xA3, 1, 0xA4, 1, 0xE9, 1};
  const Bytes out = FeedAll(esc, tail);
  EXPECT_EQ(out.size(), tail.size() + 6);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0x01), 6 + 5);
  EXPECT_EQ(esc.pairs().size(), 10u);

  VirtualEsc with_bec(EscVariant::kV1Bec);
  FeedAll(with_bec, {0xA1, 0});
  EXPECT_EQ(with_bec.image().v1_bec_voltage, 0);
  // A V1 ESC has no curves: a curve read is echoed and nothing more.
  EXPECT_EQ(FeedAll(with_bec, {0xD9}), (Bytes{0xD9}));
}

// A record: big-endian body length, then the body.
Bytes Record(std::initializer_list<uint8_t> body) {
  Bytes r{static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size() & 0xFF)};
  r.insert(r.end(), body);
  return r;
}

TEST(VirtualEsc, LoaderAnswersEveryEntryAndScriptsItsVerdicts) {
  VirtualEsc esc;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(FeedAll(esc, {0xD6}), (Bytes{0xD6, VirtualEsc::kLoaderEntryReply})) << i;
  }
  EXPECT_TRUE(esc.in_loader());
  esc.faults().loader_verdicts = {0x00, 0x13, 0x11, 0x12};
  const Bytes first = Record({0xAA, 0xBB, 0xCC});
  const Bytes second = Record({});  // zero-length body: the verdict follows the length
  EXPECT_EQ(FeedAll(esc, first), Cat({first, {0x00}}));
  EXPECT_EQ(FeedAll(esc, first), Cat({first, {0x13}}));
  EXPECT_EQ(FeedAll(esc, first), Cat({first, {0x11}}));
  EXPECT_EQ(FeedAll(esc, second), Cat({second, {0x12}}));
  EXPECT_EQ(FeedAll(esc, second), Cat({second, {0x11}})) << "script used up";
  EXPECT_EQ(esc.record_attempts(), 5);
  EXPECT_EQ(esc.flashed(), Cat({first, second}));

  // Probing at a record boundary means the host is done: the new firmware answers.
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD5, 0x41}));
  EXPECT_FALSE(esc.in_loader());
}

TEST(VirtualEsc, LoaderTakesCommandBytesInsideARecordAsData) {
  VirtualEsc esc;
  FeedAll(esc, {0xD6});
  const Bytes record = Record({0xF9, 0xD6, 0xD5});
  EXPECT_EQ(FeedAll(esc, record), Cat({record, {0x11}}));
  EXPECT_EQ(esc.accepted_records(), std::vector<Bytes>{record});
}

// ---- the in-process port, driven through the real serial link ----

struct LinkedEsc {
  explicit LinkedEsc(EscVariant variant = EscVariant::kFull)
      : port(clock, variant), enumerator(port), link(port, &enumerator, clock) {}
  ManualClock clock;
  VirtualEscPort port;
  VirtualPortEnumerator enumerator;
  SerialLink link;
  Bytes Reply() const {
    return Bytes(link.reply_buffer.begin(),
                 link.reply_buffer.begin() + static_cast<long>(link.reply_length));
  }
};

TEST(VirtualEscPort, FullReadAsTheHostDoesIt) {
  LinkedEsc t;
  ASSERT_EQ(t.link.LinkOpen(), 0);
  ASSERT_EQ(t.link.LinkSendByte(0xD5), 0);
  ASSERT_EQ(t.link.LinkReceive(1, 200), 0);
  EXPECT_EQ(t.link.reply_buffer[0], 0x2A);

  ASSERT_EQ(t.link.LinkSendByte(0xD8), 0);
  Bytes block;
  for (int i = 0; i < kFullEscParamCount; ++i) {  // one byte per tick
    ASSERT_EQ(t.link.LinkReceive(1, 200), 0) << i;
    block.push_back(t.link.reply_buffer[0]);
  }
  EXPECT_EQ(block[27], 74);
  EXPECT_EQ(t.link.LinkReceive(1, 200), 2) << "a full block is 31 bytes";

  EXPECT_EQ(t.port.esc().received(), (Bytes{0xD5, 0xD8}));
  EXPECT_EQ(t.port.pending(), 0u);
}

TEST(VirtualEscPort, V1ReadyByteFollowsTheEchoOfTheValue) {
  // The host sends a V1 pair with two raw writes and reads no echo; the next receive sees the
  // value's echo before the ready byte.
  LinkedEsc t(EscVariant::kV1);
  ASSERT_EQ(t.link.LinkOpen(), 0);
  ASSERT_EQ(t.link.LinkSendRaw(Bytes{0xE3}.data(), 1), 0);
  ASSERT_EQ(t.link.LinkSendRaw(Bytes{7}.data(), 1), 0);
  ASSERT_EQ(t.link.LinkReceive(2, 200), 0);
  EXPECT_EQ(t.Reply(), (Bytes{7, 0x01}));
  EXPECT_EQ(t.port.esc().image().v1_percentage_braking, 7);
}

TEST(VirtualEscPort, FirmwareUpdateAsTheHostDoesIt) {
  LinkedEsc t;
  ASSERT_EQ(t.link.LinkOpen(), 0);
  ASSERT_EQ(t.link.LinkSendByte(0xD7), 0);
  ASSERT_EQ(t.link.LinkReceive(7, 100), 0);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(t.link.LinkSendByte(0xD6), 0);
    EXPECT_EQ(t.link.LinkReceive(1, 1000), 0) << i;
  }
  t.port.esc().faults().loader_verdicts = {0x00, 0x00, 0x00, 0x11};
  const Bytes image = Cat({Record({1, 2, 3, 4, 5}), Record({9, 8})});
  size_t pos = 0;
  int sends = 0;
  while (pos < image.size()) {
    const size_t len = image[pos] * 256u + image[pos + 1] + 2u;
    t.link.LinkPurgeAll();
    size_t written = 0;
    ASSERT_TRUE(t.link.LinkWrite(image.data() + pos, len, &written));
    uint8_t echo[64];
    size_t got = 0;
    EXPECT_TRUE(t.link.LinkRead(echo, len, &got, 1000));
    EXPECT_EQ(Bytes(echo, echo + got), Bytes(image.begin() + static_cast<long>(pos),
                                             image.begin() + static_cast<long>(pos + len)));
    ASSERT_EQ(t.link.LinkReceive(1, 2000), 0);
    ++sends;
    if (t.link.reply_buffer[0] == 0x11) pos += len;
  }
  EXPECT_EQ(sends, 5) << "the first record went out four times";
  EXPECT_EQ(t.port.esc().flashed(), image);
  EXPECT_EQ(t.clock.NowMs(), 0u) << "nothing timed out";
}

// ---- the pseudo-terminal server ----

class PtyHost {
 public:
  explicit PtyHost(PtyServer& server) : server_(server), thread_([this] { rc_ = server_.Run(); }) {}
  ~PtyHost() { Finish(); }
  // Closes the host side, stops the server and returns what Run() returned.
  int Finish() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (thread_.joinable()) {
      server_.Stop();
      thread_.join();
    }
    return rc_;
  }

  bool Open(speed_t speed) {
    if (fd_ >= 0) close(fd_);
    fd_ = open(server_.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return false;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }
  // Writes `bytes`, then collects what comes back until `count` bytes or `timeout_ms`.
  Bytes Exchange(const Bytes& bytes, size_t count, int timeout_ms) {
    if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return {};
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[256];
      const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

 private:
  PtyServer& server_;
  int fd_ = -1;
  int rc_ = -1;
  std::thread thread_;
};

TEST(PtyServer, ServesTheEscAtTheHostsLineSpeed) {
  PtyServer server;
  server.esc().faults().answer_at = SpeedPolicy::kOnly19200;
  ASSERT_TRUE(server.Open());
  PtyHost host(server);
  {
    ASSERT_TRUE(host.Open(B19200));
    EXPECT_EQ(host.Exchange({0xF9}, 3, 2000), (Bytes{0xF9, 0xD5, 0x41}));

    // At 1200 baud only the echo comes back, and it takes its ten bit times a byte.
    ASSERT_TRUE(host.Open(B1200));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host.Exchange({0xF9, 0x01, 0x01}, 3, 2000), (Bytes{0xF9, 0x01, 0x01}));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(24)) << "3 bytes at 1200 baud take 25 ms";
    EXPECT_EQ(host.Exchange({}, 1, 100), Bytes{}) << "no reply at the wrong speed";
  }
  // The host closed and reopened the terminal in between; the server never saw a hang-up.
  EXPECT_EQ(host.Finish(), 0);
  EXPECT_EQ(server.esc().probes_seen(), 1);
}

}  // namespace
}  // namespace tessel
