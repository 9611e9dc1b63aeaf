// The application log: one UTF-8 file per run in the program's data folder,
// each line stamped with the UTC time of day and the writing thread's id,
// rotated over ten numbered files. The log is the program-wide diagnostics
// sink (diag.h) once it exists: every subsystem writes to it through
// logPrintf and logPrintfA (diag.h) and flushes it with flushLog.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform_file.h"
#include "text/diag.h"
#include "text/mutex.h"
#include "text/shared_string.h"
#include "core/wall_clock.h"

namespace druvex {

// What the log reads from the world around it. Tests derive their own so that
// nothing waits for real time.
class AppLogEnvironment {
public:
    virtual ~AppLogEnvironment() = default;
    // Milliseconds since boot, wrapping (the device's tick count, at the
    // resolution of the system's timer).
    virtual std::uint32_t tickCount();
    // The current UTC time.
    virtual void utcTime(WallClockFields& fields);
    // The calling thread's id, unique among the process's threads.
    virtual std::uint32_t currentThreadId();
    // Whether the debugger output goes anywhere; on the host it goes to
    // standard error when DRUVEX_DEBUG_OUTPUT is "1".
    virtual bool debugOutputEnabled();
    virtual void debugOutput(std::u16string_view piece);

    // The host's clocks, thread ids and debugger output; never destroyed.
    static AppLogEnvironment& host();
};

class AppLog final : public DiagSink {
public:
    // Every line of the program is written at level 7; bit 4 also sends it to
    // the debugger output.
    static constexpr std::uint32_t kLevelAll = 7;
    static constexpr std::uint32_t kLevelDebugOutput = 4;
    static constexpr std::size_t kBufferCapacity = 4096;
    // What a full store refuses waits in memory for the room that a rollback
    // gives back, up to this; lines beyond it are dropped, so that the first
    // lines of the trouble, which say what it was, are the ones kept.
    static constexpr std::size_t kHeldCapacity = 1024 * 1024;
    // A line that comes more than this after the previous one writes the
    // buffer out.
    static constexpr std::uint32_t kQuietGapMs = 5000;
    static constexpr std::size_t kDebugPieceChars = 250;
    static constexpr std::uint32_t kFileCount = 10;

    // The one log of the program, made on first use: folder, numbered file and
    // first line (start), closed at program exit. It becomes the diagnostics
    // sink unless another sink (a test's) is installed. Never freed, so any
    // thread may still write to it while the program ends.
    static AppLog& instance();
    // The singleton, or null when it has not been made.
    static AppLog* existingInstance();

    explicit AppLog(AppLogEnvironment& environment = AppLogEnvironment::host());
    ~AppLog() override;
    AppLog(const AppLog&) = delete;
    AppLog& operator=(const AppLog&) = delete;

    // What the singleton does when it is made, for a given data folder and
    // program file: the folder (dataFolder, made when missing, else the
    // temporary folder), the base name (the program file's title, "orv" when
    // that is empty), the next numbered path, open, and the first line.
    // Returns the open result.
    bool start(const SharedString& dataFolder, const SharedString& modulePath);

    // Creates (truncates) the file and buffers the byte-order mark; true when
    // the file was created without error. A file already open is written out
    // and closed first.
    bool open(const SharedString& path);

    // The one line writer: `length` characters of `text` (zero characters
    // included) after the prefix "Thh:mm:ss.mmmZ ; <thread> ; ", then CR LF,
    // as UTF-8 into the buffer. Nothing happens when `level` has no bit of the
    // mask, for an empty or null text, or after close. Lines of a log that
    // failed to open reach only the debugger output.
    void write(std::uint32_t level, int length, const char16_t* text);
    void writeText(std::uint32_t level, const char16_t* text);
    // Narrow text in the ANSI code page.
    void writeTextA(std::uint32_t level, const char* text);

    template <class... Args>
    void writeFormat(std::uint32_t level, const char16_t* pattern, const Args&... args)
    {
        if ((level & levelMask_) == 0)
            return;
        if constexpr (sizeof...(Args) == 0) {
            writeFormatV(level, pattern, {});
        } else {
            const FormatArg list[] = {FormatArg(args)...};
            writeFormatV(level, pattern, list);
        }
    }
    template <class... Args>
    void writeFormatA(std::uint32_t level, const char* pattern, const Args&... args)
    {
        if ((level & levelMask_) == 0)
            return;
        if constexpr (sizeof...(Args) == 0) {
            writeFormatAV(level, pattern, {});
        } else {
            const FormatArg list[] = {FormatArg(args)...};
            writeFormatAV(level, pattern, list);
        }
    }
    void writeFormatV(std::uint32_t level, const char16_t* pattern, std::span<const FormatArg> args);
    void writeFormatAV(std::uint32_t level, const char* pattern, std::span<const FormatArg> args);

    // Writes the buffer out and has the file system flush the file.
    void flush() override;
    // Writes the buffer out, without the file system's flush: a reader of the
    // file, or a run killed afterwards, then finds every line written so far.
    void writeThrough();
    // The file's path while open, else empty.
    SharedString getPath() const;
    bool isOpen() const;
    // The path of the last file that could not be opened; empty once one opens.
    SharedString getFailedPath() const;

    // Writes "Logging finished", writes the buffer out and closes the file.
    // The object stays valid and drops later lines. Stops being the
    // diagnostics sink first. A second close does nothing.
    void close();

    // DiagSink: a line at level 7.
    void writeLine(std::u16string_view text) override;

private:
    void writeLocked(std::uint32_t level, const char16_t* text, std::size_t length) REQUIRES(mutex_);
    void writeBuffered(const char* bytes, std::size_t count) REQUIRES(mutex_);
    void writeOut() REQUIRES(mutex_);
    // Buffers what the file did not take, within kHeldCapacity.
    void hold(const char* bytes, std::size_t count) REQUIRES(mutex_);
    void sendToDebugger(std::u16string_view prefix, const char16_t* text, std::size_t length) REQUIRES(mutex_);

    AppLogEnvironment& environment_;
    mutable RecursiveMutex mutex_;
    PlatformFile file_ GUARDED_BY(mutex_);
    SharedString path_ GUARDED_BY(mutex_);
    SharedString failedPath_ GUARDED_BY(mutex_);
    std::vector<char> buffer_ GUARDED_BY(mutex_);
    // The buffered size past which the buffer is written out: further than
    // kBufferCapacity while the file refuses what is held, so that a full
    // store is asked again once per buffer's worth of lines, not per line.
    std::size_t writeOutAt_ GUARDED_BY(mutex_) = kBufferCapacity;
    std::string line_ GUARDED_BY(mutex_);           // the UTF-8 line, reused
    std::u16string debugLine_ GUARDED_BY(mutex_);   // the line as the debugger sees it, reused
    std::uint32_t previousTick_ GUARDED_BY(mutex_) = 0;
    std::uint32_t lastTick_ GUARDED_BY(mutex_) = 0;
    bool open_ GUARDED_BY(mutex_) = false;
    bool closed_ GUARDED_BY(mutex_) = false;
    const std::uint32_t levelMask_ = 1;
};

// Flushes the diagnostics sink (the log: buffer out and file flushed).
void flushLog();
// The log's buffer into its file (AppLog::writeThrough), when the log exists.
// Error lines call it, and so does the terminal before it waits for the
// user: the lines that explain a question are in the file while it waits.
void writeLogThrough();
// The log file's path while it is open, else empty.
SharedString getLogPath();
// Closes the singleton when it exists ("Logging finished" as its last line);
// the program's exit path and the crash handler call it.
void closeAppLog();

// Makes the log when a line finds no sink installed. Every program that
// includes this header registers it, so that its first line (logPrintf, an
// assertion report, a platform line) makes the log as every later one uses it.
void makeAppLogWhenNoSink();
[[maybe_unused]] inline const bool kAppLogMadeOnFirstLine = (setDiagSinkMaker(&makeAppLogWhenNoSink), true);

}  // namespace druvex
