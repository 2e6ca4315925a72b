// The command line's progress display: the line it draws for a width, the bar's movement, and
// silence when it is not on a terminal.
#include "app/terminal_progress.h"

#include <gtest/gtest.h>

#include "core/status_values.h"
#include "core/strings.h"

namespace {

class TerminalProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetStatus(); }
  void TearDown() override { ResetStatus(); }
  static void ResetStatus() {
    StatusCaption.Clear();
    StatusDetail.Clear();
    BuildStatusText.Clear();
    ProgressCounter = 0;
  }
  CTerminalProgress::Sink Recorder() {
    return [this](std::string_view bytes) { written_.emplace_back(bytes); };
  }
  std::vector<std::string> written_;
};

TEST_F(TerminalProgressTest, LineHoldsBarPercentCaptionAndDetail) {
  EXPECT_EQ(CTerminalProgress::FormatLine(450, L"Taking the first snapshot", L"C:\\windows", 80),
            L"[#########           ]  45% Taking the first snapshot: C:\\windows");
  EXPECT_EQ(CTerminalProgress::FormatLine(0, L"", L"", 80), L"[                    ]   0%");
  EXPECT_EQ(CTerminalProgress::FormatLine(1000, L"", L"detail only", 80), L"[####################] 100% detail only");
  // Out-of-range positions are held to the bar.
  EXPECT_EQ(CTerminalProgress::FormatLine(5000, L"x", L"", 80), L"[####################] 100% x");
  EXPECT_EQ(CTerminalProgress::FormatLine(-3, L"x", L"", 80), L"[                    ]   0% x");
}

TEST_F(TerminalProgressTest, LongTextsAreFittedToTheWidthKeepingTheEndOfTheDetail) {
  const std::wstring detail = L"C:\\Program Files\\Corvane Sample\\data\\settings.dat";
  const std::wstring line = CTerminalProgress::FormatLine(500, L"Comparing", detail, 60);
  EXPECT_EQ(line.size(), 59u);  // the last column stays free
  EXPECT_EQ(line.substr(0, 38), L"[##########          ]  50% Comparing:");
  EXPECT_EQ(line.substr(38, 4), L" ...");
  EXPECT_EQ(line.substr(line.size() - 12), L"settings.dat");
  // A caption wider than the line is cut; nothing of the detail is shown.
  const std::wstring caption(200, L'c');
  EXPECT_EQ(CTerminalProgress::FormatLine(0, caption, L"detail", 40).size(), 39u);
  // Below the narrowest useful width, the line is still bounded.
  EXPECT_EQ(CTerminalProgress::FormatLine(0, L"cap", L"detail", 1).size(), 9u);
}

TEST_F(TerminalProgressTest, ControlCharactersCannotReachTheTerminal) {
  const std::wstring line =
      CTerminalProgress::FormatLine(0, L"a\x1b[2Jb", L"new\nline\rand\ttab\x7f\x9b", 80);
  EXPECT_EQ(line.find_first_of(L"\x1b\n\r\t\x7f\x9b"), std::wstring::npos);
  EXPECT_NE(line.find(L"a [2Jb: new line and tab  "), std::wstring::npos);
}

TEST_F(TerminalProgressTest, RedrawsInPlaceOnlyWhenTheLineChangesAndClearsAtTheEnd) {
  {
    CTerminalProgress progress(true, 80, Recorder());
    progress.Begin(0);  // step 1: the bar creeps
    StatusCaption.Set(L"Snapshot");
    StatusDetail.Set(L"HKEY_LOCAL_MACHINE");
    progress.Tick();
    ASSERT_EQ(written_.size(), 1u);
    EXPECT_EQ(written_[0], "\r\x1b[2K[                    ]   0% Snapshot: HKEY_LOCAL_MACHINE");
    progress.Tick();  // the bar moved by 1 of 1000: the line looks the same
    EXPECT_EQ(written_.size(), 1u);
    StatusDetail.Set(L"HKEY_USERS");
    progress.Tick();
    ASSERT_EQ(written_.size(), 2u);
    EXPECT_EQ(written_[1], "\r\x1b[2K[                    ]   0% Snapshot: HKEY_USERS");
    // The package build writes its own status text; it shows when there is no caption.
    StatusCaption.Clear();
    StatusDetail.Clear();
    BuildStatusText.Set(L"Building the cabinet");
    progress.Fill();
    EXPECT_EQ(written_.back(), "\r\x1b[2K[####################] 100% Building the cabinet");
  }
  EXPECT_EQ(written_.back(), "\r\x1b[2K");
}

// The bar follows the counter one step per tick; off a terminal nothing is written.
TEST_F(TerminalProgressTest, BarFollowsTheCounterOneStepPerTickAndIsSilentOffATerminal) {
  {
    CTerminalProgress progress(false, 80, Recorder());
    EXPECT_FALSE(progress.active());
    StatusCaption.Set(L"Working");
    progress.Begin(4);  // step 250
    ProgressCounter = 0;
    progress.Tick();  // target 200 >= 0: one step
    EXPECT_EQ(progress.position(), 250);
    progress.Tick();  // target 200 < 250: waits for the counter
    EXPECT_EQ(progress.position(), 250);
    ProgressCounter = 2;  // target 700
    progress.Tick();
    progress.Tick();
    EXPECT_EQ(progress.position(), 750);
    progress.Tick();  // 700 < 750
    EXPECT_EQ(progress.position(), 750);
    ProgressCounter = 10;
    for (int i = 0; i < 10; ++i) progress.Tick();
    EXPECT_EQ(progress.position(), 1000);  // never past the end
    progress.Begin(3);
    EXPECT_EQ(progress.position(), 0);
    progress.Fill();
    progress.Clear();
  }
  EXPECT_TRUE(written_.empty());
}

}  // namespace
