// Help › "Save Wire Trace…": the kept lines reach the chosen file whole; nothing kept says so.
#include "gui/app/wire_trace_save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QSettings>
#include <filesystem>
#include <fstream>

#include "platform/trace_file.h"
#include "tests/gui/window_support.h"
#include "tests/support/modal_replies.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using test::MakeWindow;
using test::ModalReplies;
using test::WaitRead;

class SaveWireTraceTest : public ::testing::Test {
 protected:
  void SetUp() override { QSettings("tesselarc", "tesselarc").clear(); }
  void TearDown() override { QSettings("tesselarc", "tesselarc").clear(); }
  test_support::ScratchFolder dir;
};

TEST_F(SaveWireTraceTest, SavesTheKeptLinesOfARead) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QAction* command = w->command(QString::fromUtf8("Save Wire Trace\u2026"));
  ASSERT_NE(command, nullptr);
  const std::string path = dir / "read.txt";
  {
    ModalReplies answer(path);
    command->trigger();
    EXPECT_EQ(answer.dialogs, QStringList{"Save Wire Trace"});
    EXPECT_TRUE(answer.boxes.isEmpty()) << answer.boxes.join('\n').toStdString();
  }

  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(path);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, w->wire_trace().Header());
  // The file holds the lines kept when it was written; the probes went on since.
  const std::vector<std::string> kept = w->wire_trace().Lines();
  size_t n = 0;
  bool block_request = false;
  while (std::getline(in, line)) {
    ASSERT_LT(n, kept.size());
    EXPECT_EQ(line, kept[n]) << n;
    block_request |= line.find(" tx [read 3] D8") != std::string::npos;
    ++n;
  }
  EXPECT_GT(n, 100u);
  EXPECT_TRUE(block_request);
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Wire trace saved to " + path);
}

TEST_F(SaveWireTraceTest, NothingKeptSaysSoAndWritesNothing) {
  auto w = MakeWindow();
  const WireTrace empty("1.0");
  ModalReplies answer(dir / "none.txt");
  EXPECT_FALSE(SaveWireTrace(w.get(), empty).has_value());
  ASSERT_EQ(answer.boxes.size(), 1);
  EXPECT_EQ(answer.boxes[0].section('|', 1, 1), "no trace yet");
  EXPECT_TRUE(answer.dialogs.isEmpty());
  EXPECT_FALSE(std::filesystem::exists(dir / "none.txt"));
}

// --trace to a file that cannot take a line: the window knows before it looks for an adapter.
TEST_F(SaveWireTraceTest, ATraceFileThatCannotBeWrittenIsKnownAtOnce) {
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  options.trace_file = std::make_shared<TraceFile>();
  std::string error;
  ASSERT_TRUE(options.trace_file->Open("/dev/full", error)) << error;
  CCorvaneDlg w(options);
  EXPECT_FALSE(w.trace_error().empty());
}

}  // namespace
}  // namespace tessel
