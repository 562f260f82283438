// The virtual ESC's keep_field fault: the send is answered exactly as a healthy ESC answers it,
// and only the named field stays as it was. Kept curves and V1 fields are caught by the verify
// tests of the command line and the window.
#include <gtest/gtest.h>

#include "sim/virtual_esc.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FeedAll(VirtualEsc& esc, const Bytes& bytes) {
  Bytes out;
  for (uint8_t b : bytes) esc.Feed(b, 1200, out);
  return out;
}

TEST(KeepField, FullEscAnswersAsUsualAndKeepsOnlyTheNamedField) {
  VirtualEsc healthy;
  VirtualEsc keeping;
  keeping.faults().keep_field = "drag_brake";
  // drag_brake 0xE4, boost_timing 0xE5, then the end of the settings.
  const Bytes wire{0xE4, 3, 0xE5, 5, 0xAF, 16, 1, 1, 1};
  EXPECT_EQ(FeedAll(keeping, wire), FeedAll(healthy, wire));
  EXPECT_EQ(keeping.pairs(), healthy.pairs());
  EXPECT_EQ(healthy.image().drag_brake, 3);
  EXPECT_EQ(keeping.image().drag_brake, SampleFullEscImage().drag_brake);
  EXPECT_EQ(keeping.image().boost_timing, 5);
  // A misspelt name would keep nothing and let every verify pass.
  EXPECT_TRUE(IsKeepableField("boost_curve"));
  EXPECT_FALSE(IsKeepableField("drag"));
}

}  // namespace
}  // namespace tessel
