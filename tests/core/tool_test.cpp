// The tool without a face, driven as a user drives it on the virtual ESC and a virtual clock:
// every action ends in one outcome on the status line, and every confirmation comes to the
// face as a question. The desktop's and the web page's tests run some of the same steps
// through their faces and expect the same texts.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/app/setup_link_view.h"
#include "core/app/tool.h"
#include "core/model/setup_link.h"
#include "core/model/settings_file.h"
#include "sim/virtual_esc_port.h"
#include "sim/virtual_hid_adapter.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using test_support::ScratchFolder;

// A face that answers from a script and remembers what it was asked.
class ScriptedFace : public ToolHost {
 public:
  Answer Ask(const Question& q) override {
    asked.push_back(q);
    if (answers.empty()) return Answer::kCancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return open_file; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return save_file; }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  void NoticePending() override { notices.push_back(tool->TakeNotice()); }

  Tool* tool = nullptr;
  std::deque<Answer> answers;
  std::vector<Question> asked;
  std::vector<std::string> notices;
  std::optional<std::string> open_file;
  std::optional<std::string> save_file;
};

class ToolScript : public ::testing::Test {
 protected:
  explicit ToolScript(EscVariant variant = EscVariant::kFull)
      : port(clock, variant), ports(port), tool(face, clock, loop, port, &ports, nullptr) {
    face.tool = &tool;
    loop.SetHandler([this](int id) { tool.OnTimer(id); });
    tool.Start();
  }
  bool RunUntil(const std::function<bool()>& done, uint64_t limit_ms = 60000) {
    return loop.RunUntil(done, clock.NowMs() + limit_ms);
  }
  bool Idle() {
    const SessionStatus& s = tool.session().status;
    return tool.Connected() && !s.transfer_active && !s.send_in_progress && !tool.IsBusy();
  }
  bool Read() { return RunUntil([&] { return Idle() && tool.beeps() > 0; }); }
  const std::string& Line() const { return tool.status_line().text(); }
  int Index(int32_t page_id, ImageField field) {
    return tool.pages().page(page_id)->IndexOf(field);
  }

  ManualClock clock;
  TimerLoop loop{clock};
  ScriptedFace face;
  VirtualEscPort port;
  VirtualPortEnumerator ports;
  Tool tool;
  ScratchFolder folder;
};

class V1ToolScript : public ToolScript {
 protected:
  V1ToolScript() : ToolScript(EscVariant::kV1) {}
};

TEST_F(ToolScript, EveryActionEndsInOneOutcomeThatStays) {
  ASSERT_TRUE(Read());
  EXPECT_EQ(Line(), "Read OK: CAR ESC, software ESC0120");
  EXPECT_EQ(tool.Title(false), "Tessel Arc USB V1.0");

  // A change is counted until it is sent, and leaving asks first.
  const int drag = Index(kPageBrake, &EscSettingsImage::drag_brake);
  ASSERT_TRUE(tool.Choose(kPageBrake, drag, 3));
  EXPECT_EQ(Line(), "Apply sends 1 change");
  EXPECT_EQ(tool.Title(false), "Tessel Arc USB V1.0 ●");
  const std::optional<Question> leave = tool.LeaveQuestion("Quit");
  ASSERT_TRUE(leave);
  EXPECT_EQ(leave->text, "1 change has not been sent to the ESC. Quit anyway?");
  EXPECT_EQ(leave->default_answer, Answer::kCancel);
  EXPECT_FALSE(tool.MayClose().refused);

  ASSERT_TRUE(tool.PressButton(ButtonId::kApply));
  ASSERT_TRUE(RunUntil([&] { return Idle(); }));
  EXPECT_EQ(Line(), "Sent OK");
  EXPECT_EQ(port.esc().image().drag_brake, 3);
  EXPECT_EQ(tool.unsent_changes(), 0u);
  EXPECT_FALSE(tool.LeaveQuestion("Quit"));

  // A profile preset shows at once and goes out on the next tick.
  const int profile = Index(kPageGeneral, &EscSettingsImage::profile_preset);
  const EscSettingsImage before = tool.session().image;
  ASSERT_TRUE(tool.Choose(kPageGeneral, profile, 2));
  EXPECT_NE(tool.session().image.punch_rate1, before.punch_rate1);
  ASSERT_TRUE(RunUntil([&] { return Idle() && Line() == "Sent OK"; }));
  EXPECT_EQ(port.esc().image().punch_rate1, tool.session().image.punch_rate1);

  // Export, then a damaged copy is refused with its reason under the question, and the
  // failure stays through the tool's own work until the user acts.
  face.save_file = folder / "race.DATA";
  ASSERT_TRUE(tool.ExportFile());
  EXPECT_EQ(Line(), "Exported to " + folder / "race.DATA");
  std::string bytes = test_support::ReadFile(folder / "race.DATA");
  bytes[400] ^= 0x5A;
  face.open_file = folder.Write("bad.DATA", bytes);
  face.answers = {Answer::kOk};
  EXPECT_FALSE(tool.ImportFile());
  ASSERT_FALSE(face.asked.empty());
  EXPECT_EQ(face.asked.back().text, "Import file error!");
  EXPECT_EQ(face.asked.back().detail,
            "\"" + folder / "bad.DATA" + "\": the check value does not match the contents");
  const std::string failure = Line();
  EXPECT_EQ(failure.rfind("Import failed: ", 0), 0u) << failure;
  loop.RunUntil([] { return false; }, clock.NowMs() + 2000);
  EXPECT_EQ(Line(), failure);
  EXPECT_TRUE(tool.status_line().showing_failure());

  // The good file: its settings are unsent changes until Apply.
  face.open_file = folder / "race.DATA";
  port.esc().image().drag_brake = 0;  // the ESC now holds something else
  ASSERT_TRUE(tool.ReadFromEsc());
  ASSERT_TRUE(RunUntil([&] { return Idle() && Line().rfind("Read OK", 0) == 0; }));
  ASSERT_TRUE(tool.ImportFile());
  EXPECT_EQ(Line(), "Imported " + folder / "race.DATA");
  EXPECT_EQ(tool.unsent_changes(), 1u);

  // Reset Default (from a page) sends at once and says what it sent.
  ASSERT_TRUE(tool.PressButton(ButtonId::kGeneral));
  ASSERT_TRUE(tool.ResetDefault());
  ASSERT_TRUE(RunUntil([&] { return Idle() && !tool.IsBusy(); }));
  EXPECT_EQ(Line(), "Factory settings sent");
  tool.KeepHistory(folder / "history");
  ASSERT_TRUE(tool.PressButton(ButtonId::kDefault));
  ASSERT_TRUE(RunUntil([&] { return Idle(); }));
  EXPECT_EQ(Line(), "Factory settings sent. Device › Undo Last Send takes them back");
}

TEST_F(ToolScript, ACancelledCurveEditorPutsTheModeBack) {
  ASSERT_TRUE(Read());
  const int mode = Index(kPageThrottle, &EscSettingsImage::throttle_curve_mode);
  ASSERT_TRUE(tool.Choose(kPageThrottle, mode, 0));  // the sample ESC's curve is custom
  ASSERT_TRUE(tool.Choose(kPageThrottle, mode, 1));  // "Custom" opens the editor
  EXPECT_EQ(tool.pages().editor_state(CurveKind::kThrottle), EditorState::kOpen);
  EXPECT_TRUE(tool.IsBusy());
  EXPECT_FALSE(tool.PressButton(ButtonId::kApply));
  tool.EditorCancel();
  EXPECT_EQ(tool.pages().editor_state(CurveKind::kThrottle), EditorState::kClosed);
  EXPECT_EQ(tool.pages().page(kPageThrottle)->selected[static_cast<size_t>(mode)], 0);
  EXPECT_EQ(tool.session().image.throttle_curve_mode, 0);
  EXPECT_EQ(Line(), "Apply sends 1 change");
}

TEST_F(ToolScript, FirmwareIsCheckedBeforeTheQuestionAndASendThatBreaksOffSaysSo) {
  ASSERT_TRUE(Read());
  // A settings file offered as firmware never reaches a question.
  face.open_file = folder.Write("ESC0130.xup", "0A 1");
  face.answers = {Answer::kOk};
  tool.UpdateFirmware(false);
  ASSERT_EQ(face.asked.size(), 1u);
  EXPECT_NE(face.asked[0].text.find("\"" + folder / "ESC0130.xup" + "\" was not sent"),
            std::string::npos)
      << face.asked[0].text;
  EXPECT_EQ(Line(), "Firmware file refused; nothing was sent to the ESC");
  EXPECT_TRUE(tool.status_line().showing_failure());
  EXPECT_FALSE(port.esc().in_loader());

  // A good file is asked about by name and versions; Cancel sends nothing.
  face.open_file = folder.Write("ESC0110.xup", "00 02 01 02\n");
  face.answers = {Answer::kCancel};
  tool.UpdateFirmware(false);
  ASSERT_FALSE(face.asked.empty());
  EXPECT_EQ(face.asked.back().text, "version old");
  EXPECT_EQ(face.asked.back().detail, folder / "ESC0110.xup" + "\nESC0110 is older than ESC0120");
  EXPECT_FALSE(port.esc().in_loader());

  // A send cut off by the loss of the adapter says how far it got, in a notice too, since no
  // question told of it.
  const int drag = Index(kPageBrake, &EscSettingsImage::drag_brake);
  ASSERT_TRUE(tool.Choose(kPageBrake, drag, 5));
  ASSERT_TRUE(tool.PressButton(ButtonId::kApply));
  ASSERT_TRUE(RunUntil([&] { return tool.session().status.progress > 20; }));
  const size_t questions = face.asked.size();
  port.SetPlugged(false);
  tool.OnSerialPortEvent(false, tool.session().link.device_name);
  ASSERT_TRUE(RunUntil([&] { return !tool.session().status.transfer_active; }));
  EXPECT_TRUE(tool.status_line().showing_failure());
  EXPECT_EQ(Line().rfind("Send broke off", 0), 0u) << Line();
  EXPECT_EQ(face.asked.size(), questions);
  ASSERT_FALSE(face.notices.empty());
  EXPECT_EQ(face.notices.back(), Line());
}

TEST_F(V1ToolScript, TheV1ViewReadsAndSendsItsOwnSelections) {
  ASSERT_TRUE(Read());
  EXPECT_EQ(tool.v1_status(), "Read Ok");
  const int32_t row = tool.pages().v1_selected()[0] == 2 ? 1 : 2;
  ASSERT_TRUE(tool.V1Choose(0, row));
  EXPECT_EQ(Line(), "Apply sends 1 change");
  ASSERT_TRUE(tool.V1Send());
  ASSERT_TRUE(RunUntil([&] { return Idle() && tool.v1_status() == "Send Ok"; }));
  EXPECT_EQ(port.esc().image().*(V1Settings()[0].field), row);
  EXPECT_EQ(tool.unsent_changes(), 0u);
  ASSERT_TRUE(tool.V1Read());
  ASSERT_TRUE(RunUntil([&] { return Idle() && tool.v1_status() == "Read Ok"; }));
  EXPECT_EQ(tool.pages().v1_selected()[0], row);
}

TEST_F(V1ToolScript, ASetupLinkIsSharedComparedAndSentThroughTheV1View) {
  ASSERT_TRUE(Read());
  // The link shares what the view shows, chosen or not.
  const int32_t timing = tool.pages().v1_selected()[1] == 4 ? 3 : 4;  // Motor Timing
  ASSERT_TRUE(tool.V1Choose(1, timing));
  const std::string link = ShareSetupLink(tool, "http://x/");
  tool.V1Revert();

  const LinkComparison compared = CompareSetupLink(tool, link);
  EXPECT_EQ(compared.refusal, "");
  ASSERT_EQ(compared.differences.size(), 1u);
  EXPECT_EQ(compared.differences[0].name, "v1_motor_timing");
  EXPECT_EQ(compared.summary, "This ESC against the setup link: 1 difference.");
  ASSERT_TRUE(ApplySetupLink(tool, link));
  ASSERT_TRUE(RunUntil([&] { return Idle() && tool.v1_status() == "Send Ok"; }));
  EXPECT_EQ(port.esc().image().v1_motor_timing, timing);

  // A link naming the BEC voltage: this ESC has none, so it is refused and nothing goes out.
  EscSettingsImage bec = port.esc().image();
  bec.v1_motor_timing = timing == 4 ? 3 : 4;
  const std::string foreign = SetupLink("http://x/", bec, kDeviceV1, true);
  EXPECT_EQ(CompareSetupLink(tool, foreign).refusal,
            "the setup names the BEC voltage, and this V1-series ESC has no BEC");
  EXPECT_FALSE(ApplySetupLink(tool, foreign));
  EXPECT_FALSE(tool.session().status.transfer_active);
  EXPECT_EQ(Line(), "Nothing was sent: the setup names the BEC voltage, and this V1-series ESC "
                    "has no BEC");
}

// The HID adapter with the LCD program box behind it (silent until asked for): the empty page
// area says how to reach the box as well as asking for an ESC.
TEST(ToolFaces, AnLcdBoxBehindTheHidAdapterIsNamedInThePageArea) {
  ManualClock clock;
  TimerLoop loop{clock};
  ScriptedFace face;
  VirtualEscPort port(clock);
  port.SetPlugged(false);
  VirtualHidAdapter adapter(HidDeviceKind::kLcdBox);
  Tool tool(face, clock, loop, port, nullptr, &adapter);
  face.tool = &tool;
  loop.SetHandler([&](int id) { tool.OnTimer(id); });
  tool.Start();
  ASSERT_TRUE(loop.RunUntil([&] { return tool.commands().lcd_mode; }, clock.NowMs() + 20000));
  EXPECT_EQ(tool.page_hint(),
            "CONNECT THE ESC TO THE ADAPTER AND POWER IT\nAn LCD program box? Device › LCD Program "
            "Box");
  EXPECT_TRUE(tool.commands().lcd_mode);
  ASSERT_TRUE(tool.EnterLcdMode());
  EXPECT_EQ(tool.page_hint(), "LCD PROGRAM BOX CONNECTED");
}

}  // namespace
}  // namespace tessel
