// A curve that arrives damaged on the desktop tool: a warning after the read, and a question
// with "Read again", "Send anyway" and "Cancel" before a send would write its default points.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "core/engine/session.h"
#include "tests/gui/update_support.h"
#include "tests/gui/window_support.h"

namespace tessel::test {
namespace {

TEST(DamagedCurve, ReadWarnsAndApplyAsksBeforeSendingDefaults) {
  auto window = MakeWindow(EscVariant::kFull);
  window->virtual_port()->esc().faults().bad_curve_check[kThrottleCurve] = true;
  {
    ModalAnswerer answers("");
    // The warning comes at the end of the read, before the transfer closes.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const SessionStatus& s = window->session().status;
          return s.esc_state == kEscDetected && !s.transfer_active && !answers.boxes.empty();
        },
        20000));
    EXPECT_EQ(answers.boxes, std::vector<std::string>{std::string(kReadCaption) + "|" +
                                                      DamagedCurveWarning({"throttle"})});
  }
  std::vector<std::string> buttons;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      for (QAbstractButton* b : box->buttons()) buttons.push_back(b->text().toStdString());
      box->button(QMessageBox::Cancel)->click();
    }
  });
  poll.start(10);
  const size_t before = window->virtual_port()->esc().received().size();
  EXPECT_FALSE(window->session().Apply());
  poll.stop();
  std::sort(buttons.begin(), buttons.end());
  EXPECT_EQ(buttons, (std::vector<std::string>{"Cancel", "Read again", "Send anyway"}));
  EXPECT_FALSE(window->session().status.transfer_active);
  EXPECT_EQ(window->virtual_port()->esc().received().size(), before);
}

}  // namespace
}  // namespace tessel::test
