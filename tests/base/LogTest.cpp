#include "base/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "tests/support/TestSupport.h"

using testing_support::ReadFileBytes;
using testing_support::ScratchDir;

namespace {

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (from + count > s.size()) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// "2019-12-18 11:46:40:123"
bool StartsWithTimestamp(const std::string& line) {
  return line.size() >= 23 && IsDigits(line, 0, 4) && line[4] == '-' && IsDigits(line, 5, 2) && line[7] == '-' &&
         IsDigits(line, 8, 2) && line[10] == ' ' && IsDigits(line, 11, 2) && line[13] == ':' &&
         IsDigits(line, 14, 2) && line[16] == ':' && IsDigits(line, 17, 2) && line[19] == ':' &&
         IsDigits(line, 20, 3);
}

// The part after the time and the thread id: "[Info][Main][file][func@1] text".
std::string AfterThreadId(const std::string& line) {
  const std::string marker = " [tid=";
  if (!StartsWithTimestamp(line) || line.compare(23, marker.size(), marker) != 0) return "<malformed: " + line + ">";
  const size_t close = line.find(']', 23);
  if (close == std::string::npos || !IsDigits(line, 23 + marker.size(), close - 23 - marker.size())) {
    return "<malformed: " + line + ">";
  }
  return line.substr(close + 1);
}

void SubmitText(Logger& logger, const std::string& text) {
  logger.Submit(1, "Test", "LogTest", "Test", 1, 42, Utf8ToWide(text));
}

}  // namespace

TEST(LogFormatTest, RecordFieldsAreClampedAndCut) {
  struct Case {
    int level;
    int expected;
  } const kLevels[] = {{-1, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {7, 3}};
  for (const Case& c : kLevels) {
    LogRecord record;
    FillLogRecord(record, c.level, "t", "f", "fn", 1, 1, 0);
    EXPECT_EQ(record.level, c.expected) << "level " << c.level;
  }
  const std::string tag(100, 'g'), file(300, 'f'), function(200, 'n');
  LogRecord record;
  record.text = std::wstring(10000, L'z');
  FillLogRecord(record, 1, tag.c_str(), file.c_str(), function.c_str(), 9, 7, 0);
  EXPECT_EQ(std::string(record.tag), std::string(63, 'g'));
  EXPECT_EQ(std::string(record.file), std::string(255, 'f'));
  EXPECT_EQ(std::string(record.function), std::string(127, 'n'));
  EXPECT_EQ(record.text.size(), 10000u);
}

TEST(LogFormatTest, LineShowsFieldsAndOnlyTheLastPathComponent) {
  LogRecord record;
  record.text = L"OrvoDownload Start.";
  FillLogRecord(record, 1, "Main", "C:\\src\\app\\OrvoDownloader", "wWinMain", 27, 4711, 0);
  const LogTimestamp time{2019, 12, 18, 11, 46, 40, 123};
  EXPECT_EQ(FormatLogLine(record, time),
            "2019-12-18 11:46:40:123 [tid=4711][Info][Main][OrvoDownloader][wWinMain@27] OrvoDownload Start.");
  record.text = L"\u00e9\u4e2d";
  FillLogRecord(record, 3, "utils", "utils", "GetFileHexMd5", -1, 1, 0);
  EXPECT_EQ(FormatLogLine(record, LogTimestamp{2026, 1, 2, 3, 4, 5, 6}),
            "2026-01-02 03:04:05:006 [tid=1][Error][utils][utils][GetFileHexMd5@-1] \xc3\xa9\xe4\xb8\xad");
}

TEST(LogFormatTest, FileNameFollowsExecutableAndStartTime) {
  const LogTimestamp start{2019, 12, 18, 11, 46, 40, 999};
  struct Case {
    const wchar_t* tempDir;
    const wchar_t* exePath;
    const wchar_t* expected;
  } const kCases[] = {
      {L"C:\\users\\a\\Temp\\", L"C:\\x\\OrvoDownloader.exe",
       L"C:\\users\\a\\Temp\\GameDownloadLog\\OrvoDownloader_20191218_114640.log"},
      {L"C:\\users\\john.doe\\Temp\\", L"C:\\a.b\\tool",
       L"C:\\users\\john.doe\\Temp\\GameDownloadLog\\tool_20191218_114640.log"},
      {L"C:\\t", L"C:\\x\\my.setup.exe", L"C:\\t\\GameDownloadLog\\my.setup_20191218_114640.log"},
      {L"", L"C:\\x\\OrvoDownloader.exe", L""},
  };
  for (const Case& c : kCases) EXPECT_EQ(MakeLogFilePath(c.tempDir, c.exePath, start), c.expected) << c.exePath;
}

TEST(LogFormatTest, FunctionNamesAreQualifiedWithoutSignature) {
  using logdetail::QualifiedName;
  EXPECT_STREQ(QualifiedName("int wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)").text, "wWinMain");
  EXPECT_STREQ(QualifiedName("bool GlobalConfig::InitParamsFromSelf()").text, "GlobalConfig::InitParamsFromSelf");
  EXPECT_STREQ(QualifiedName("void CMainWnd::OnPrepare()::<lambda()>").text, "CMainWnd::OnPrepare");
  EXPECT_STREQ(QualifiedName("std::map<int, std::basic_string<wchar_t> > X::Y() const").text, "X::Y");
  EXPECT_STREQ(QualifiedName("static minilib::WorkerPool& minilib::WorkerPool::Instance()").text,
               "minilib::WorkerPool::Instance");
  EXPECT_STREQ(LOG_FUNCTION_NAME, "LogFormatTest_FunctionNamesAreQualifiedWithoutSignature_Test::TestBody");
}

// The whole path through the process logger, in a child process of its own.
TEST(LogProcessTest, ChildRunWritesEveryLineAndTheEndLine) {
  const auto child = testing_support::RunChild(L"\"" + testing_support::TestBinaryDir() + L"\\log_child.exe\"");
  ASSERT_TRUE(child.started);
  ASSERT_EQ(child.exitCode, 0u) << child.output;
  std::string pathUtf8 = child.output.substr(0, child.output.find_first_of("\r\n"));
  const std::wstring path = Utf8ToWide(pathUtf8);
  ASSERT_NE(path.find(L"\\GameDownloadLog\\log_child_"), std::wstring::npos) << pathUtf8;
  const std::string bytes = ReadFileBytes(path);
  DeleteFileW(path.c_str());

  const std::vector<std::string> lines = SplitLines(bytes);
  ASSERT_GE(lines.size(), 13u) << bytes;
  // Lines end in CR LF, and a line feed inside a text becomes CR LF too.
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  const std::string expectedNarrow = WideToUtf8(L"narrow: " + AnsiToWide("caf\xe9") + L" wide: \u4e2d\u6587");
  if (GetACP() == 1252) {
    EXPECT_EQ(expectedNarrow, "narrow: caf\xc3\xa9 wide: \xe4\xb8\xad\xe6\x96\x87");
  }
  const std::vector<std::string> expected = {
      "[Info][Child][log_child][main@",
      "[Info][Child][log_child][main@11] level zero",
      "[Error][Child][log_child][main@12] level seven",
      "[Info][Child][some_header.h][main@13] full path",
      "[Info][" + std::string(63, 'T') + "][log_child][main@14] long tag",
      "[Error][Child][log_child][main@",
      "[Info][Child][log_child][main@",
      "[Info][Child][log_child][main@",
      "[Info][Child][log_child][main@",
      "lines",
      "[Warn][Child][log_child][{anonymous}::Widget::Method@",
      "[Info][Child][log_child][main@",
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string rest = i == 9 ? lines[i] : AfterThreadId(lines[i]);
    EXPECT_EQ(rest.substr(0, expected[i].size()), expected[i]) << "line " << i << ": " << lines[i];
  }
  EXPECT_TRUE(lines[0].ends_with("] first line"));
  EXPECT_TRUE(lines[5].ends_with("] " + std::string(5000, 'x')));
  EXPECT_TRUE(lines[6].ends_with("] " + expectedNarrow)) << lines[6];
  EXPECT_TRUE(lines[7].ends_with("] numbers -5 4000000000 18446744073709551615 0x00001234")) << lines[7];
  EXPECT_TRUE(lines[8].ends_with("] two"));
  EXPECT_TRUE(lines[11].ends_with("] from a lambda"));
  ASSERT_EQ(lines.size(), 13u) << bytes;
  EXPECT_TRUE(StartsWithTimestamp(lines[12]));
  EXPECT_EQ(lines[12].substr(23), " End...");
  EXPECT_EQ(bytes.find("logged after the stop"), std::string::npos);
}

TEST(LoggerTest, TwoRunsOnOnePathAppend) {
  ScratchDir dir;
  const std::wstring path = dir / L"run.log";
  {
    Logger first(path);
    SubmitText(first, "run one");
  }
  {
    Logger second(path);
    SubmitText(second, "run two");
  }
  const std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(lines[0].ends_with("] run one"));
  EXPECT_EQ(lines[1].substr(23), " End...");
  EXPECT_TRUE(lines[2].ends_with("] run two"));
  EXPECT_EQ(lines[3].substr(23), " End...");
}

TEST(LoggerTest, NothingIsWrittenAfterShutdown) {
  ScratchDir dir;
  const std::wstring path = dir / L"stop.log";
  Logger logger(path);
  SubmitText(logger, "before");
  logger.Shutdown();
  SubmitText(logger, "after");
  logger.Shutdown();
  const std::string bytes = ReadFileBytes(path);
  EXPECT_NE(bytes.find("] before\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("after"), std::string::npos);
  EXPECT_EQ(SplitLines(bytes).size(), 2u);
}

TEST(LoggerTest, LinesOfEachThreadKeepTheirOrder) {
  ScratchDir dir;
  const std::wstring path = dir / L"order.log";
  constexpr int kPerThread = 3000;
  {
    Logger logger(path);
    auto produce = [&logger](char name) {
      for (int i = 0; i < kPerThread; ++i) {
        std::string text(1, name);
        text += std::to_string(i);
        SubmitText(logger, text);
      }
    };
    std::thread a(produce, 'A'), b(produce, 'B');
    a.join();
    b.join();
  }
  const std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
  ASSERT_EQ(lines.size(), 2u * kPerThread + 1);
  int next[2] = {0, 0};
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string text = lines[i].substr(lines[i].rfind(' ') + 1);
    const int which = text[0] == 'A' ? 0 : 1;
    ASSERT_EQ(text.substr(1), std::to_string(next[which])) << lines[i];
    ++next[which];
  }
}

TEST(LoggerTest, LargeFileMovesToBakReplacingTheOlderOne) {
  ScratchDir dir;
  const std::wstring path = dir / L"big.log";
  ASSERT_TRUE(testing_support::WriteFileBytes(path + L".bak", "an older bak\r\n"));
  const std::string filler(1000, 'f');
  {
    Logger logger(path);
    for (int i = 0; i < 8600; ++i) SubmitText(logger, filler);
    // The writer rotates after the batch that crossed the size.
    for (int i = 0; i < 2000 && ReadFileBytes(path + L".bak").size() <= Logger::kRotateSize; ++i) Sleep(10);
    SubmitText(logger, "after the rotation");
  }
  const std::string bak = ReadFileBytes(path + L".bak");
  const std::string current = ReadFileBytes(path);
  EXPECT_GT(bak.size(), Logger::kRotateSize);
  EXPECT_EQ(bak.find("an older bak"), std::string::npos);
  EXPECT_EQ(bak.find("after the rotation"), std::string::npos);
  // Every line is in one of the two files, the marker last in the new one.
  const std::vector<std::string> lines = SplitLines(current);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(SplitLines(bak).size() + lines.size() - 2, 8600u);
  EXPECT_TRUE(lines[lines.size() - 2].ends_with("] after the rotation"));
  EXPECT_EQ(lines.back().substr(23), " End...");
}

TEST(LoggerTest, WithoutAFileLinesAreDroppedQuietly) {
  ScratchDir dir;
  Logger nowhere(L"");
  SubmitText(nowhere, "lost");
  nowhere.Shutdown();
  Logger missingFolder(dir / L"no\\such\\folder\\x.log");
  SubmitText(missingFolder, "lost too");
  missingFolder.Shutdown();
  EXPECT_FALSE(testing_support::FileExists(dir / L"no"));
}
