#include "base/Log.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "base/TextConvert.h"

std::atomic<bool> g_logStopped{false};

namespace {

constexpr const char* kLevelNames[] = {"Debug", "Info", "Warn", "Error"};
constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;

std::int64_t Now100ns() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return t - kUnixEpochAsFileTime;
}

template <std::size_t N>
void CopyField(char (&field)[N], const char* value) {
  std::size_t i = 0;
  if (value != nullptr) {
    for (; i + 1 < N && value[i] != '\0'; ++i) field[i] = value[i];
  }
  field[i] = '\0';
}

template <typename... Args>
void AppendFormatted(std::wstring& text, const wchar_t* format, Args... args) {
  wchar_t buffer[32];
  const int n = _snwprintf(buffer, 32, format, args...);
  if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
}

// Decimal digits by hand: the runtime's formatter costs more than the rest
// of a log statement.
void AppendUnsigned(std::wstring& text, unsigned long long value, bool negative = false) {
  wchar_t buffer[24];
  wchar_t* end = buffer + 24;
  wchar_t* p = end;
  do {
    *--p = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (negative) *--p = L'-';
  text.append(p, static_cast<std::size_t>(end - p));
}

void AppendSigned(std::wstring& text, long long value) {
  const bool negative = value < 0;
  const unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  AppendUnsigned(text, magnitude, negative);
}

// Bytes below 0x80 mean the same character in every ANSI code page, so plain
// ASCII text is widened directly.
void AppendAnsi(std::wstring& text, std::string_view narrow) {
  for (const char c : narrow) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      text += AnsiToWide(narrow);
      return;
    }
  }
  const std::size_t at = text.size();
  text.resize(at + narrow.size());
  for (std::size_t i = 0; i < narrow.size(); ++i) text[at + i] = static_cast<wchar_t>(narrow[i]);
}

bool IsDirectory(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The file of this run, fixed once; its folder is created when missing.
std::wstring DefaultLogFilePath() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return {};
  std::wstring tempDir(temp, n);
  if (!IsDirectory(tempDir)) return {};
  std::wstring exePath(MAX_PATH, L'\0');
  const DWORD len = GetModuleFileNameW(nullptr, exePath.data(), MAX_PATH);
  exePath.resize(len);
  const std::wstring path = MakeLogFilePath(tempDir, exePath, ToLocalTimestamp(Now100ns()));
  const std::wstring dir = path.substr(0, path.rfind(L'\\'));
  if (!IsDirectory(dir)) SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  return path;
}

// The writer's file, opened for appending. Lines are written in the file's
// text form (LF becomes CR LF). The writer gathers the lines of one batch and
// hands them to the file in writes of up to 64 KiB before it waits again, so
// no line stays in the process while the writer sleeps.
class LogFile {
 public:
  static constexpr std::size_t kWriteChunk = 64 * 1024;

  ~LogFile() { Close(); }

  void Open(const std::wstring& path, bool truncate) {
    HANDLE h = CreateFileW(path.c_str(), truncate ? GENERIC_WRITE : FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    file_.reset(h);
    if (!file_) return;
    LARGE_INTEGER size{};
    position_ = GetFileSizeEx(h, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  }

  void Close() {
    Flush();
    file_.reset();
  }
  bool is_open() const { return file_.valid(); }
  std::uint64_t position() const { return position_ + pending_.size(); }

  void AddLine(std::string_view line) {
    if (!file_) return;
    for (const char c : line) {
      if (c == '\n') pending_.push_back('\r');
      pending_.push_back(c);
    }
    pending_.append("\r\n");
    if (pending_.size() >= kWriteChunk) Flush();
  }

  void Flush() {
    if (!file_ || pending_.empty()) return;
    DWORD written = 0;
    if (WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr)) {
      position_ += written;
    }
    pending_.clear();
  }

 private:
  UniqueFile file_;
  std::uint64_t position_ = 0;
  std::string pending_;
};

void RotateLogFile(const std::wstring& path) {
  const std::wstring bak = path + L".bak";
  if (GetFileAttributesW(bak.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(bak.c_str());
  MoveFileW(path.c_str(), bak.c_str());
}

// Formats record times; the local-time conversion runs once per second.
class TimestampCache {
 public:
  LogTimestamp Get(std::int64_t time100ns) {
    const std::int64_t second = time100ns / 10000000;
    if (second != second_) {
      second_ = second;
      cached_ = ToLocalTimestamp(time100ns);
    }
    LogTimestamp t = cached_;
    t.millisecond = static_cast<int>((time100ns / 10000) % 1000);
    return t;
  }

 private:
  std::int64_t second_ = -1;
  LogTimestamp cached_{};
};

std::string FormatTime(const LogTimestamp& t) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month,
                              t.day, t.hour, t.minute, t.second, t.millisecond);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Native lock and condition variable: in-process waits, no kernel object per call.
class SrwGuard {
 public:
  explicit SrwGuard(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~SrwGuard() { ReleaseSRWLockExclusive(&lock_); }
  SrwGuard(const SrwGuard&) = delete;
  SrwGuard& operator=(const SrwGuard&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

// ---- LogLine ----

LogLine::LogLine(int level, const char* tag, const char* file, const char* function, int line)
    : record_(g_logStopped.load(std::memory_order_acquire) ? std::make_unique<LogRecord>()
                                                           : Logger::Instance().NewRecord()),
      level_(level),
      tag_(tag),
      file_(file),
      function_(function),
      line_(line),
      threadId_(GetCurrentThreadId()),
      text_(record_->text) {}

LogLine::~LogLine() {
  if (g_logStopped.load(std::memory_order_acquire)) return;
  Logger::Instance().Submit(std::move(record_), level_, tag_, file_, function_, line_, threadId_);
}

LogLine& LogLine::operator<<(const char* text) {
  if (text != nullptr) AppendAnsi(text_, text);
  return *this;
}
LogLine& LogLine::operator<<(const std::string& text) { return *this << std::string_view(text); }
LogLine& LogLine::operator<<(std::string_view text) {
  AppendAnsi(text_, text);
  return *this;
}
LogLine& LogLine::operator<<(const wchar_t* text) {
  if (text != nullptr) text_ += text;
  return *this;
}
LogLine& LogLine::operator<<(const std::wstring& text) {
  text_ += text;
  return *this;
}
LogLine& LogLine::operator<<(std::wstring_view text) {
  text_ += text;
  return *this;
}
LogLine& LogLine::operator<<(int value) {
  AppendSigned(text_, value);
  return *this;
}
LogLine& LogLine::operator<<(long value) { return *this << static_cast<int>(value); }
LogLine& LogLine::operator<<(long long value) {
  AppendSigned(text_, value);
  return *this;
}
LogLine& LogLine::operator<<(unsigned int value) {
  AppendUnsigned(text_, value);
  return *this;
}
LogLine& LogLine::operator<<(unsigned long value) { return *this << static_cast<unsigned int>(value); }
LogLine& LogLine::operator<<(unsigned long long value) {
  AppendUnsigned(text_, value);
  return *this;
}
LogLine& LogLine::operator<<(const void* pointer) {
  AppendFormatted(text_, L"0x%08X", static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(pointer)));
  return *this;
}

// ---- decisions ----

void FillLogRecord(LogRecord& record, int level, const char* tag, const char* file, const char* function,
                   int line, std::uint32_t threadId, std::int64_t time100ns) {
  record.level = level < kLogInfo ? kLogInfo : (level > kLogError ? kLogError : level);
  CopyField(record.tag, tag);
  CopyField(record.file, file);
  CopyField(record.function, function);
  record.line = line;
  record.threadId = threadId;
  record.time100ns = time100ns;
}

LogTimestamp ToLocalTimestamp(std::int64_t time100ns) {
  const __time64_t seconds = time100ns / 10000000;
  struct tm local{};
  _localtime64_s(&local, &seconds);
  return LogTimestamp{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     static_cast<int>((time100ns / 10000) % 1000)};
}

std::string FormatLogLine(const LogRecord& record, const LogTimestamp& time) {
  const char* file = record.file;
  for (const char* p = record.file; *p != '\0'; ++p) {
    if (*p == '\\') file = p + 1;
  }
  std::string line = FormatTime(time);
  char fields[512];
  const int n = std::snprintf(fields, sizeof fields, " [tid=%d][%s][%s][%s][%s@%d] ",
                              static_cast<int>(record.threadId), kLevelNames[record.level], record.tag, file,
                              record.function, record.line);
  if (n > 0) line.append(fields, std::min(static_cast<std::size_t>(n), sizeof fields - 1));
  line += WideToUtf8(record.text);
  return line;
}

std::wstring MakeLogFilePath(std::wstring_view tempDir, std::wstring_view exePath, const LogTimestamp& start) {
  if (tempDir.empty()) return {};
  std::wstring path(tempDir);
  if (path.back() != L'\\') path += L'\\';
  path += L"GameDownloadLog\\";
  std::wstring_view name = exePath;
  if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring_view::npos) name.remove_prefix(slash + 1);
  // Only the file name's own extension is cut: a dot in a folder name stays.
  if (const auto dot = name.rfind(L'.'); dot != std::wstring_view::npos) name = name.substr(0, dot);
  path += name;
  wchar_t stamp[32];
  _snwprintf(stamp, 32, L"_%04d%02d%02d_%02d%02d%02d.log", start.year, start.month, start.day, start.hour,
             start.minute, start.second);
  path += stamp;
  return path;
}

// ---- Logger ----

struct Logger::State {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::deque<std::unique_ptr<LogRecord>> queue;
  std::vector<std::unique_ptr<LogRecord>> spare;  // written records, ready for reuse
  bool stopping = false;       // guarded by lock
  bool writerWaiting = false;  // guarded by lock
  std::atomic<bool> accepting{true};
  std::atomic<bool> observed{false};
  std::function<void(const LogRecord&)> observer;  // guarded by lock
  std::thread writer;
  SRWLOCK shutdownLock = SRWLOCK_INIT;
};

namespace {
Logger* g_processLogger = nullptr;

void ShutdownProcessLogger() {
  g_logStopped.store(true, std::memory_order_release);
  g_processLogger->Shutdown();
}
}  // namespace

Logger& Logger::Instance() {
  static Logger* const logger = [] {
    g_processLogger = new Logger(DefaultLogFilePath());
    std::atexit(ShutdownProcessLogger);
    return g_processLogger;
  }();
  return *logger;
}

Logger::Logger(std::wstring path) : path_(std::move(path)), state_(new State) {
  state_->writer = std::thread([this] { WriterMain(); });
}

Logger::~Logger() {
  Shutdown();
  delete state_;
}

namespace {
constexpr std::size_t kTextReserve = 512;
constexpr std::size_t kMaxSpareRecords = 1024;
constexpr std::size_t kMaxSpareText = 4096;
constexpr int kPollRounds = 50;  // about 50 ms of polling after the last line
}  // namespace

std::unique_ptr<LogRecord> Logger::NewRecord() {
  {
    SrwGuard guard(state_->lock);
    if (!state_->spare.empty()) {
      std::unique_ptr<LogRecord> record = std::move(state_->spare.back());
      state_->spare.pop_back();
      record->text.clear();
      return record;
    }
  }
  auto record = std::make_unique<LogRecord>();
  record->text.reserve(kTextReserve);
  return record;
}

void Logger::Submit(int level, const char* tag, const char* file, const char* function, int line,
                    std::uint32_t threadId, std::wstring text) {
  auto record = std::make_unique<LogRecord>();
  record->text = std::move(text);
  Submit(std::move(record), level, tag, file, function, line, threadId);
}

void Logger::Submit(std::unique_ptr<LogRecord> record, int level, const char* tag, const char* file,
                    const char* function, int line, std::uint32_t threadId) {
  if (!state_->accepting.load(std::memory_order_acquire)) return;
  FillLogRecord(*record, level, tag, file, function, line, threadId, Now100ns());
  bool wake = false;
  {
    SrwGuard guard(state_->lock);
    if (state_->observed.load(std::memory_order_relaxed) && state_->observer) state_->observer(*record);
    state_->queue.push_back(std::move(record));
    wake = state_->writerWaiting;
  }
  // The writer only sleeps on an empty queue; while it is busy it takes the
  // whole queue on its next round, so no signal is needed.
  if (wake) WakeConditionVariable(&state_->wake);
}

void Logger::SetObserverForTesting(std::function<void(const LogRecord&)> observer) {
  SrwGuard guard(state_->lock);
  state_->observed.store(static_cast<bool>(observer));
  state_->observer = std::move(observer);
}

void Logger::Shutdown() {
  SrwGuard once(state_->shutdownLock);
  state_->accepting.store(false, std::memory_order_release);
  {
    SrwGuard guard(state_->lock);
    state_->stopping = true;
  }
  WakeConditionVariable(&state_->wake);
  if (state_->writer.joinable()) state_->writer.join();
}

void Logger::RecycleRecords(std::deque<std::unique_ptr<LogRecord>>& batch) {
  std::vector<std::unique_ptr<LogRecord>> ready;
  ready.reserve(std::min(batch.size(), kMaxSpareRecords));
  for (auto& record : batch) {
    if (ready.size() == kMaxSpareRecords || record->text.capacity() > kMaxSpareText) continue;
    ready.push_back(std::move(record));  // cleared by the caller that takes it
  }
  {
    // Callers wait on this lock, so it is held for a swap only; records that
    // don't fit are freed outside it.
    SrwGuard guard(state_->lock);
    if (state_->spare.empty()) state_->spare.swap(ready);
  }
  batch.clear();
}

void Logger::WriterMain() {
  LogFile file;
  if (!path_.empty()) file.Open(path_, false);
  TimestampCache times;
  std::deque<std::unique_ptr<LogRecord>> batch;
  int idleRounds = kPollRounds;
  for (;;) {
    bool stopping = false;
    {
      SrwGuard guard(state_->lock);
      while (!state_->stopping && state_->queue.empty()) {
        if (idleRounds < kPollRounds) {
          // Waking a sleeping thread costs the caller several microseconds,
          // so while lines keep coming the writer looks for them every
          // millisecond instead of being signalled; only after a quiet spell
          // does it sleep until the next line wakes it.
          ReleaseSRWLockExclusive(&state_->lock);
          Sleep(1);
          AcquireSRWLockExclusive(&state_->lock);
          ++idleRounds;
          continue;
        }
        state_->writerWaiting = true;
        SleepConditionVariableSRW(&state_->wake, &state_->lock, 1000, 0);
        state_->writerWaiting = false;
      }
      idleRounds = 0;
      batch.swap(state_->queue);
      stopping = state_->stopping;
    }
    for (const auto& record : batch) file.AddLine(FormatLogLine(*record, times.Get(record->time100ns)));
    file.Flush();
    RecycleRecords(batch);
    // Taking the queue at most once a millisecond keeps the writer off the
    // callers' lock and memory while lines are pouring in.
    if (!stopping) Sleep(1);
    if (stopping) break;
    if (file.is_open() && file.position() > kRotateSize) {
      file.Close();
      RotateLogFile(path_);
      file.Open(path_, true);
    }
  }
  file.AddLine(FormatTime(ToLocalTimestamp(Now100ns())) + " End...");
  const bool wasOpen = file.is_open();
  file.Close();
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A file removed meanwhile has no size to test: skip the rotation.
  if (wasOpen && GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) {
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size > kRotateSize) RotateLogFile(path_);
  }
}
