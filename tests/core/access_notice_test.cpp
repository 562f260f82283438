// An adapter that is plugged in but may not be opened: the engines tell the user once through
// the window seam, go on retrying quietly, and take the adapter as soon as they may.
#include "core/link/access_notice.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/model/page_rules.h"
#include "sim/virtual_esc_port.h"
#include "sim/virtual_hid_adapter.h"
#include "tests/support/hid_world.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

// The virtual ESC's port behind a device node whose permission the test decides.
class GuardedPort : public SerialPort {
 public:
  explicit GuardedPort(VirtualEscPort& inner) : inner_(inner) {}
  bool Open(const std::string& device, uint32_t baud) override {
    ++opens;
    denied_ = deny;
    if (deny) return false;
    return inner_.Open(device, baud);
  }
  bool OpenDenied() const override { return denied_; }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  bool Write(const uint8_t* d, size_t n, size_t* w) override { return inner_.Write(d, n, w); }
  bool Read(uint8_t* d, size_t n, size_t* r, uint32_t t) override {
    return inner_.Read(d, n, r, t);
  }
  void PurgeRx() override { inner_.PurgeRx(); }
  void Purge() override { inner_.Purge(); }

  bool deny = true;
  int opens = 0;

 private:
  VirtualEscPort& inner_;
  bool denied_ = false;
};

class SerialAccessTest : public ::testing::Test {
 protected:
  SerialAccessTest() {
    session.link.SetAccessNotice(&notice);
    loop.SetHandler([this](int id) { session.OnTimer(id); });
    session.Start();
  }
  bool ReadFully(uint64_t ms = 60000) {
    return loop.RunUntil([&] { return ui.reads_finished > 0 && !session.status.transfer_active; },
                         ms);
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  VirtualEscPort esc{clock};
  VirtualPortEnumerator ports{esc};
  GuardedPort port{esc};
  Session session{port, &ports, clock, loop, ui};
  AccessNotice notice{ui};
};

TEST_F(SerialAccessTest, ARefusedAdapterIsToldOnceThenTakenWhenAccessComes) {
  loop.RunUntil([] { return false; }, 5000);
  // The search goes on every 10 ms, yet the user hears of it once.
  EXPECT_GT(port.opens, 100);
  ASSERT_EQ(ui.notices.size(), 1u);
  const std::string device = ports.Ports().front().device;
  EXPECT_EQ(ui.notices[0], AccessDeniedText(AdapterFamily::kSerial, device));
  EXPECT_NE(ui.notices[0].find(device), std::string::npos);
  EXPECT_NE(ui.notices[0].find("60-tesselarc.rules"), std::string::npos);
  EXPECT_NE(ui.notices[0].find("tesselarc-cli doctor"), std::string::npos);
  EXPECT_TRUE(ui.questions.empty());  // nothing modal stopped the engine
  EXPECT_EQ(session.status.adapter_state, kAdapterNone);

  // The rule is installed and the adapter plugged in again: no restart, no second notice.
  port.deny = false;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session.status.esc_state, kEscDetected);
  EXPECT_EQ(ui.notices.size(), 1u);
}

TEST_F(SerialAccessTest, AnAdapterThatWasOpenedAndIsRefusedAgainIsNewsAgain) {
  port.deny = false;
  ASSERT_TRUE(ReadFully());
  ASSERT_TRUE(ui.notices.empty());
  // Unplugged and plugged in on a machine that lost the rule: closed, then refused.
  session.link.LinkClose();
  port.deny = true;
  loop.RunUntil([] { return false; }, 3000);
  EXPECT_EQ(ui.notices.size(), 1u);
}

TEST_F(SerialAccessTest, AnOpeningThatFailsForAnotherReasonSaysNothing) {
  // A device that vanished between the listing and the opening is not a permission matter.
  class VanishingPort : public GuardedPort {
   public:
    using GuardedPort::GuardedPort;
    bool OpenDenied() const override { return false; }
  };
  VanishingPort vanishing{esc};
  RecordingUi quiet_ui;
  Session other{vanishing, &ports, clock, loop, quiet_ui};
  AccessNotice other_notice{quiet_ui};
  other.link.SetAccessNotice(&other_notice);
  loop.SetHandler([&](int id) { other.OnTimer(id); });
  other.Start();
  loop.RunUntil([] { return false; }, 3000);
  EXPECT_GT(vanishing.opens, 10);
  EXPECT_TRUE(quiet_ui.notices.empty());
}

// The virtual HID adapter behind a hidraw node whose permission the test decides.
class GuardedHid : public HidDevice {
 public:
  explicit GuardedHid(VirtualHidAdapter& inner) : inner_(inner) {}
  uint32_t DeviceCount(uint16_t v, uint16_t p) override { return inner_.DeviceCount(v, p); }
  int DevicePath(uint32_t i, uint16_t v, uint16_t p, std::string* path) override {
    return inner_.DevicePath(i, v, p, path);
  }
  int Open(uint32_t i, uint16_t v, uint16_t p, uint32_t buffers) override {
    ++opens;
    denied_ = deny;
    if (deny) return kHidDeviceIoFailed;
    return inner_.Open(i, v, p, buffers);
  }
  bool OpenDenied() const override { return denied_; }
  bool IsOpened() const override { return inner_.IsOpened(); }
  uint16_t ReportLength() const override { return inner_.ReportLength(); }
  int SetTimeouts(uint32_t r, uint32_t w) override { return inner_.SetTimeouts(r, w); }
  int SendControlReport(const uint8_t* r, size_t n) override {
    return inner_.SendControlReport(r, n);
  }
  int SendInterruptReport(const uint8_t* r, size_t n) override {
    return inner_.SendInterruptReport(r, n);
  }
  int ReadInputReports(uint8_t* b, size_t s, uint32_t c, uint32_t* r) override {
    return inner_.ReadInputReports(b, s, c, r);
  }
  uint32_t MaxReportRequest() const override { return inner_.MaxReportRequest(); }
  int OpenPath(std::string* path) const override { return inner_.OpenPath(path); }
  void Close() override { inner_.Close(); }

  bool deny = true;
  int opens = 0;

 private:
  VirtualHidAdapter& inner_;
  bool denied_ = false;
};

TEST(HidAccessTest, ARefusedHidAdapterIsToldOnceAndAReplugAfterTheFixIsRead) {
  test_support::HidWorld w;
  std::unique_ptr<GuardedHid> guarded_hid;
  AccessNotice notice{w.ui};
  w.Build(HidDeviceKind::kFullEsc, 0, [&](VirtualHidAdapter& adapter) -> HidDevice& {
    guarded_hid = std::make_unique<GuardedHid>(adapter);
    return *guarded_hid;
  });
  GuardedHid& guarded = *guarded_hid;
  w.session->link.SetAccessNotice(&notice);
  w.Link().SetAccessNotice(&notice);

  w.RunUntil([] { return false; }, 10000);
  EXPECT_GT(guarded.opens, 10);
  ASSERT_EQ(w.ui.notices.size(), 1u);
  EXPECT_EQ(w.ui.notices[0], AccessDeniedText(AdapterFamily::kHid, w.Link().hid_path));
  EXPECT_NE(w.ui.notices[0].find("HID"), std::string::npos);
  EXPECT_EQ(w.adapter->hello_count(), 0);

  guarded.deny = false;
  w.Replug();
  ASSERT_TRUE(w.ReadFully());
  EXPECT_EQ(w.status().link_kind, kLinkHid);
  EXPECT_EQ(w.adapter->hello_count(), 1);
  EXPECT_EQ(w.ui.notices.size(), 1u);
}

}  // namespace
}  // namespace tessel
