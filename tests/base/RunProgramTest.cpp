#include <gtest/gtest.h>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

namespace {

std::wstring ExitCodeChild() { return testing_support::TestBinaryDir() + L"\\exit_code_child.exe"; }

}  // namespace

TEST(RunProgramTest, WaitsAndReportsTheExitCode) {
  struct Case {
    const wchar_t* parameters;
    bool hidden;
    DWORD exitCode;
  } const kCases[] = {
      {L"0", true, 0},  {L"1", true, 1},  {L"1000", true, 1000},
      {L"0", false, 0}, {L"1", false, 1}, {L"1000", false, 1000},
  };
  for (const Case& c : kCases) {
    DWORD exitCode = 12345;
    EXPECT_TRUE(RunProgram(ExitCodeChild(), c.parameters, c.hidden, &exitCode));
    EXPECT_EQ(exitCode, c.exitCode) << testing::PrintToString(std::wstring(c.parameters)) << " hidden " << c.hidden;
  }
}

TEST(RunProgramTest, PassesTheShowState) {
  DWORD shown = 12345;
  ASSERT_TRUE(RunProgram(ExitCodeChild(), L"show", false, &shown));
  EXPECT_EQ(shown, static_cast<DWORD>(SW_SHOW));
  DWORD hidden = 12345;
  ASSERT_TRUE(RunProgram(ExitCodeChild(), L"show", true, &hidden));
  EXPECT_EQ(hidden, static_cast<DWORD>(SW_HIDE));
}

TEST(RunProgramTest, WithoutExitCodeOutReturnsAtOnce) {
  EXPECT_TRUE(RunProgram(ExitCodeChild(), L"0", true));
}

TEST(RunProgramTest, MissingFileIsFalseAndLeavesTheExitCode) {
  testing_support::ScratchDir dir;
  DWORD exitCode = 777;
  EXPECT_FALSE(RunProgram(dir / L"missing.exe", L"", true, &exitCode));
  EXPECT_EQ(exitCode, 777u);
}
