// The log facility. A call site reads
//
//   LOG_SOURCE("utils");   // once per source file: the file field of its lines
//   ...
//   LOG_INFO("GConfig") << "current temp path: [" << tempPath << "]";
//
// The statement builds a LogLine on the caller's stack; at the end of the
// statement the line is stamped and queued, and one writer thread appends it
// to %TEMP%\GameDownloadLog\<exe stem>_YYYYMMDD_HHMMSS.log. Callers never wait
// for the file and never see a failure. Any thread may log.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

enum LogLevel : int { kLogDebug = 0, kLogInfo = 1, kLogWarn = 2, kLogError = 3 };

// Set once at process end; from then on log statements are dropped.
extern std::atomic<bool> g_logStopped;

// Local time of a log record, split into its fields.
struct LogTimestamp {
  int year, month, day, hour, minute, second, millisecond;
};

// One queued line. The fields are truncated to their sizes, the text never.
struct LogRecord {
  int level;  // 1..3
  char tag[64];
  char file[256];
  char function[128];
  int line;
  std::uint32_t threadId;
  std::int64_t time100ns;  // system clock, 100 ns units since 1970 (UTC)
  std::wstring text;
};

class LogLine {
 public:
  // tag, file and function must outlive the statement (normally literals).
  // The file may be a bare name or a path; only its last "\" component is written.
  LogLine(int level, const char* tag, const char* file, const char* function, int line);
  ~LogLine();
  LogLine(const LogLine&) = delete;
  LogLine& operator=(const LogLine&) = delete;

  // Narrow text is read in the system ANSI code page.
  LogLine& operator<<(const char* text);
  LogLine& operator<<(const std::string& text);
  LogLine& operator<<(std::string_view text);
  LogLine& operator<<(const wchar_t* text);
  LogLine& operator<<(const std::wstring& text);
  LogLine& operator<<(std::wstring_view text);
  LogLine& operator<<(int value);                 // "%d"
  LogLine& operator<<(long value);                // "%d"
  LogLine& operator<<(long long value);           // "%I64d"
  LogLine& operator<<(unsigned int value);        // "%u"
  LogLine& operator<<(unsigned long value);       // "%u" (DWORD, error codes)
  LogLine& operator<<(unsigned long long value);  // "%I64u"
  LogLine& operator<<(const void* pointer);       // "0x%08X"

 private:
  std::unique_ptr<LogRecord> record_;  // holds the text while the line is built
  int level_;
  const char* tag_;
  const char* file_;
  const char* function_;
  int line_;
  std::uint32_t threadId_;
  std::wstring& text_;
};

// Fills a record's fields: level clamped into 1..3, tag, file and function cut
// to 63/255/127 characters. The text is left as it is.
void FillLogRecord(LogRecord& record, int level, const char* tag, const char* file, const char* function,
                   int line, std::uint32_t threadId, std::int64_t time100ns);

// Local time of a 100 ns count since 1970 (the runtime's local-time conversion).
LogTimestamp ToLocalTimestamp(std::int64_t time100ns);

// One written line without its line end:
// "2019-12-18 11:46:40:123 [tid=4711][Info][Main][OrvoDownloader][wWinMain@27] text".
std::string FormatLogLine(const LogRecord& record, const LogTimestamp& time);

// The log file for an executable started at a local time:
// tempDir + "GameDownloadLog\" + exe file name without its extension
// + "_%04d%02d%02d_%02d%02d%02d.log". Empty when tempDir is empty.
std::wstring MakeLogFilePath(std::wstring_view tempDir, std::wstring_view exePath, const LogTimestamp& start);

class Logger {
 public:
  // Size above which a log file is moved aside to path + ".bak".
  static constexpr std::uint64_t kRotateSize = 0x800000;

  // The process's logger, created by the first call; its teardown at process
  // exit sets g_logStopped, lets the writer write what is queued and the
  // " End..." line, and joins it. The object itself is never freed, so a
  // late Submit from another thread cannot touch a destroyed queue.
  static Logger& Instance();

  // Starts a writer thread appending to path. An empty path logs nowhere.
  explicit Logger(std::wstring path);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // A record for a new line, its text empty with room for 512 characters.
  // Records come back from the writer once written, so a steady stream of
  // lines allocates nothing.
  std::unique_ptr<LogRecord> NewRecord();

  // Queues one line. Never blocks on file I/O. Dropped after Shutdown.
  void Submit(std::unique_ptr<LogRecord> record, int level, const char* tag, const char* file,
              const char* function, int line, std::uint32_t threadId);
  void Submit(int level, const char* tag, const char* file, const char* function, int line,
              std::uint32_t threadId, std::wstring text);

  // Stops accepting lines; the writer writes everything queued so far, the
  // " End..." line, closes (and rotates) the file; returns once it has ended.
  // Idempotent. Not to be called from the writer.
  void Shutdown();

  const std::wstring& path() const { return path_; }

  // Test hook: observer sees every record as it is queued (under the queue's
  // lock, on the submitting thread). An empty function removes it.
  void SetObserverForTesting(std::function<void(const LogRecord&)> observer);

 private:
  struct State;
  void WriterMain();
  void RecycleRecords(std::deque<std::unique_ptr<LogRecord>>& batch);

  std::wstring path_;
  State* state_;
};

namespace logdetail {

template <std::size_t N>
struct FunctionName {
  char text[N]{};
};

// "bool CMainWnd::OnPrepare(int)" -> "CMainWnd::OnPrepare": the qualified name
// before the parameter list, without the return type. Lambdas name their
// enclosing function ("X::Y()::<lambda()>" -> "X::Y").
template <std::size_t N>
constexpr FunctionName<N> QualifiedName(const char (&pretty)[N]) {
  FunctionName<N> out{};
  std::size_t end = 0;
  int depth = 0;
  for (; end < N && pretty[end] != '\0'; ++end) {
    const char c = pretty[end];
    if (c == '<') ++depth;
    else if (c == '>') --depth;
    else if (c == '(' && depth == 0) break;
  }
  std::size_t begin = 0;
  depth = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const char c = pretty[i];
    if (c == '<') ++depth;
    else if (c == '>') --depth;
    else if (c == ' ' && depth == 0) begin = i + 1;
  }
  std::size_t k = 0;
  for (std::size_t i = begin; i < end; ++i) out.text[k++] = pretty[i];
  return out;
}

}  // namespace logdetail

// The qualified name of the enclosing function, computed at compile time.
#define LOG_FUNCTION_NAME                                                                     \
  ([]() noexcept -> const char* {                                                            \
    static constexpr auto kLogFunctionName = ::logdetail::QualifiedName(__PRETTY_FUNCTION__); \
    return kLogFunctionName.text;                                                             \
  }())

// Names the file field of every log line of this source file.
#define LOG_SOURCE(stem)                                         \
  namespace {                                                    \
  [[maybe_unused]] constexpr const char kLogSource[] = stem;     \
  }                                                              \
  static_assert(true, "")

#define LOG_AT(level, tag) ::LogLine((level), (tag), kLogSource, LOG_FUNCTION_NAME, __LINE__)
#define LOG_INFO(tag) LOG_AT(::kLogInfo, tag)
#define LOG_WARN(tag) LOG_AT(::kLogWarn, tag)
#define LOG_ERROR(tag) LOG_AT(::kLogError, tag)
