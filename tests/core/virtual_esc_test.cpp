#include "sim/virtual_esc.h"

#include <gtest/gtest.h>

#include "core/link/serial_link.h"
#include "core/session/clock.h"
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

TEST(VirtualEsc, EchoesEveryByteThenAnswersTheProbe) {
  VirtualEsc esc;
  EXPECT_EQ(FeedAll(esc, {0xF9}), (Bytes{0xF9, 0xD5, 0x41}));
  EXPECT_EQ(FeedAll(esc, {0x01, 0x77}), (Bytes{0x01, 0x77}));
  EXPECT_EQ(esc.received(), (Bytes{0xF9, 0x01, 0x77}));
  esc.ClearReceived();
  EXPECT_TRUE(esc.received().empty());
}

}  // namespace
}  // namespace tessel
