// What the widget tests share: a main window on a virtual ESC, waiting for its read or its
// send, and screenshots for people to look at.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <memory>

#include "gui/app/corvane_dlg.h"
#include "sim/virtual_esc.h"

namespace tessel::test {

inline std::unique_ptr<CCorvaneDlg> MakeWindow(EscVariant variant = EscVariant::kFull) {
  CCorvaneDlg::Options options;
  options.demo = variant;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  auto window = std::make_unique<CCorvaneDlg>(options);
  window->show();
  QApplication::setActiveWindow(window.get());
  EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  return window;
}

// The tool on the virtual HID adapter, and the read of what it relays.
inline std::unique_ptr<CCorvaneDlg> MakeHidWindow(HidDeviceKind kind) {
  CCorvaneDlg::Options options;
  options.hid_demo = kind;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  auto window = std::make_unique<CCorvaneDlg>(options);
  window->show();
  return window;
}

inline bool WaitHidRead(CCorvaneDlg& w) {
  return QTest::qWaitFor(
      [&] {
        const SessionStatus& s = w.session().status;
        return s.link_kind == kLinkHid && s.esc_state == kHidEscPresent && !s.transfer_active &&
               w.hid().EscIdentified();
      },
      20000);
}

// The ESC has been read and the session is idle again.
inline bool WaitRead(CCorvaneDlg& w) {
  const bool read = QTest::qWaitFor(
      [&] {
        const SessionStatus& s = w.session().status;
        return s.esc_state == 2 && !s.transfer_active && w.session().serial().version_known();
      },
      20000);
  // The offscreen platform forgets the active window when the progress window hides.
  QApplication::setActiveWindow(&w);
  return read && QTest::qWaitForWindowActive(&w);
}

inline bool WaitIdle(CCorvaneDlg& w) {
  return QTest::qWaitFor([&] { return !w.session().status.transfer_active; }, 20000);
}

inline VirtualEsc& Esc(CCorvaneDlg& w) {
  return w.virtual_port()->esc();
}

// What the ESC received, without the presence probes the idle tool sends every 200 ms before
// and after a send: a question left open that long (a busy machine) lets one through.
inline std::vector<uint8_t> SentBeyondProbes(const VirtualEsc& esc) {
  const std::vector<uint8_t>& got = esc.received();
  auto first = got.begin();
  auto last = got.end();
  while (first != last && *first == VirtualEsc::kProbe) ++first;
  while (last != first && *(last - 1) == VirtualEsc::kProbe) --last;
  return {first, last};
}

inline void Screenshot(const QPixmap& picture, const QString& name) {
  const QString dir = QString(TESSEL_BUILD_DIR) + "/screenshots";
  QDir().mkpath(dir);
  picture.save(dir + "/" + name);
}

inline void Screenshot(QWidget& w, const QString& name) {
  Screenshot(w.grab(), name);
}

}  // namespace tessel::test
