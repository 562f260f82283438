#include "core/app/verify_read.h"

#include "core/engine/session.h"

namespace tessel {

bool StartVerifyRead(Session& session) {
  if (session.IsBusy()) return false;
  SerialLink& link = session.link;
  if (session.status.link_kind == kLinkSerial && link.is_open) {
    uint8_t stray = 0;
    size_t got = 0;
    for (int i = 0; i < kVerifyDrainLimit; ++i) {
      if (!link.LinkRead(&stray, 1, &got, kVerifyQuietMs) || got == 0) break;
    }
    link.ClearReply();
  }
  return session.ReadFromEsc();
}

}  // namespace tessel
