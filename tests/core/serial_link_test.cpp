#include "core/link/serial_link.h"

#include <gtest/gtest.h>

#include "core/link/clock.h"
#include "sim/virtual_esc_port.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

struct Rig {
  Rig() : port(clock), enumerator(port), link(port, &enumerator, clock) {}
  ManualClock clock;
  VirtualEscPort port;
  VirtualPortEnumerator enumerator;
  SerialLink link;
};

TEST(SerialLink, SendByteSwallowsTheEchoAndReceiveGetsTheReply) {
  Rig r;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  EXPECT_EQ(r.port.baud_rate(), kBaudSlow);
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  ASSERT_EQ(r.link.LinkReceive(2, 150), 0);
  EXPECT_FALSE(r.link.link_error);
  EXPECT_EQ(r.link.reply_buffer[0], 0xD5);
  EXPECT_EQ(r.link.reply_buffer[1], 0x41);
  EXPECT_EQ(r.link.reply_length, 2u);
  EXPECT_EQ(r.clock.NowMs(), 0u);
  EXPECT_EQ(r.port.esc().received(), Bytes{0xF9});
}

TEST(SerialLink, ReceiveTimeOutEmptiesTheReplyAndSpendsTheTimeOut) {
  Rig r;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  ASSERT_EQ(r.link.LinkReceive(2, 150), 0);  // reply_buffer now holds D5 41
  r.port.esc().faults().silent_probes = 1000;
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_EQ(r.link.LinkReceive(2, 150), 2);
  EXPECT_TRUE(r.link.link_error);
  EXPECT_EQ(r.link.reply_buffer[0], 0);
  EXPECT_EQ(r.link.reply_length, 0u);
  EXPECT_EQ(r.clock.NowMs(), 150u);

  // A reply one byte short fails the same way.
  r.port.esc().faults().silent_probes = 0;
  r.port.esc().faults().presence_reply = {0xD5};
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_EQ(r.link.LinkReceive(2, 200), 2);
  EXPECT_EQ(r.link.reply_buffer[0], 0);
  EXPECT_EQ(r.clock.NowMs(), 350u);
}

TEST(SerialLink, SilentLineCostsTheEchoTimeOutButTheByteCountsAsSent) {
  Rig r;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  r.port.esc().faults().silent = true;
  EXPECT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_FALSE(r.link.link_error);
  EXPECT_EQ(r.clock.NowMs(), 2000u);
}

TEST(SerialLink, OpenTwiceKeepsThePort) {
  Rig r;
  r.link.baud_rate = kBaudFast;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  EXPECT_EQ(r.link.LinkOpen(), 0);
  EXPECT_EQ(r.port.open_count(), 1);
  EXPECT_EQ(r.port.baud_rate(), kBaudFast);
  EXPECT_EQ(r.link.device_name, r.port.adapter().device);
  EXPECT_EQ(r.link.product_string, "LX DRIVES ESC LINK");
}

TEST(SerialLink, OpenFailsWithoutAnAcceptedAdapter) {
  Rig r;
  r.port.adapter().product_id = 60001;
  EXPECT_EQ(r.link.LinkOpen(), 1);
  EXPECT_FALSE(r.link.is_open);
  r.port.adapter().product_id = 64021;
  r.port.adapter().product = "CP2102 USB to UART";
  EXPECT_EQ(r.link.LinkOpen(), 1);
  r.port.adapter().product = "LX DRIVES ESC LINK";
  r.port.set_open_fails(true);
  EXPECT_EQ(r.link.LinkOpen(), 1);
  EXPECT_EQ(r.port.open_count(), 0);
  r.port.set_open_fails(false);
  EXPECT_EQ(r.link.LinkOpen(), 0);
}

TEST(SerialLink, AdapterLossAndReturn) {
  Rig r;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  r.port.SetPlugged(false);
  EXPECT_TRUE(r.enumerator.Ports().empty());
  EXPECT_EQ(r.link.LinkSendByte(0xF9), 1);
  EXPECT_TRUE(r.link.link_error);
  EXPECT_EQ(r.link.LinkSendRaw(Bytes{0xA4, 1}.data(), 2), 1);
  EXPECT_EQ(r.link.link_message, "sending error!");
  r.link.LinkClose();
  EXPECT_EQ(r.link.LinkOpen(), 1);

  // Plugged back while the host still held the old port: that handle stays dead.
  Rig s;
  ASSERT_EQ(s.link.LinkOpen(), 0);
  s.port.SetPlugged(false);
  s.port.SetPlugged(true);
  EXPECT_EQ(s.link.LinkSendByte(0xF9), 1);

  r.port.SetPlugged(true);
  ASSERT_EQ(r.link.LinkOpen(), 0);
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_EQ(r.link.LinkReceive(2, 150), 0);
  EXPECT_EQ(r.port.open_count(), 2);
}

TEST(SerialLink, SpeedPolicyAnswersOnlyAtTheEscsSpeed) {
  Rig r;
  r.port.esc().faults().answer_at = SpeedPolicy::kOnly1200;
  r.link.baud_rate = kBaudFast;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_EQ(r.clock.NowMs(), 0u) << "the echo comes at any speed";
  EXPECT_EQ(r.link.LinkReceive(2, 150), 2);

  r.link.LinkClose();
  r.link.baud_rate = kBaudSlow;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  ASSERT_EQ(r.link.LinkSendByte(0xF9), 0);
  EXPECT_EQ(r.link.LinkReceive(2, 150), 0);
  EXPECT_EQ(r.port.esc().probes_seen(), 1);
}

TEST(SerialLink, SendRawLeavesTheEchoesUnread) {
  Rig r;
  ASSERT_EQ(r.link.LinkOpen(), 0);
  const Bytes pair{0xA4, 2};
  ASSERT_EQ(r.link.LinkSendRaw(pair.data(), pair.size()), 0);
  EXPECT_EQ(r.port.pending(), 2u);
  EXPECT_EQ(r.port.esc().image().run_mode, 2);
  // Each send discards what is waiting first.
  ASSERT_EQ(r.link.LinkSendRaw(pair.data(), 1), 0);
  EXPECT_EQ(r.port.pending(), 1u);
}

PortInfo Adapter(uint16_t product_id, std::string product, uint16_t vendor_id = 0x10C4) {
  PortInfo info;
  info.device = "x";
  info.has_usb_ids = true;
  info.vendor_id = vendor_id;
  info.product_id = product_id;
  info.product = std::move(product);
  return info;
}

TEST(SerialLink, AcceptedAdapters) {
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(60000, "LX DRIVES")));
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(60000, "lx drives usb link")));
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(64021, "Lx DrIvEs-anything")));
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(60000, "TEAM KVR ")));
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(60000, "team kvr x")));
  EXPECT_TRUE(IsAcceptedAdapter(Adapter(60000, "LX DRIVES", 0x1234))) << "vendor not checked";
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(60000, "LX DRIVE")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(60000, "LX_DRIVES")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(60000, " LX DRIVES")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(60000, "TEAM KVRM")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(60001, "LX DRIVES")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(0xEA61, "LX DRIVES")));
  EXPECT_FALSE(IsAcceptedAdapter(Adapter(0, "LX DRIVES")));
  PortInfo no_ids = Adapter(60000, "LX DRIVES");
  no_ids.has_usb_ids = false;
  EXPECT_FALSE(IsAcceptedAdapter(no_ids));
}

}  // namespace
}  // namespace tessel
