#include "core/app_log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/app_paths.h"
#include "core/file_functions.h"
#include "core/path_text.h"
#include "core/sequenced_file.h"
#include "platform/device_config.h"
#include "text/mutex.h"
#include "text/printf.h"

namespace druvex {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

void putDigits(char*& out, std::uint32_t value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out += digits;
}

// "T%02d:%02d:%02d.%03dZ ; %08x ; " without the printf engine: the prefix is
// built for every line.
std::size_t buildPrefix(char* out, const WallClockFields& now, std::uint32_t threadId)
{
    char* p = out;
    *p++ = 'T';
    putDigits(p, static_cast<std::uint32_t>(now.hours), 2);
    *p++ = ':';
    putDigits(p, static_cast<std::uint32_t>(now.minutes), 2);
    *p++ = ':';
    putDigits(p, static_cast<std::uint32_t>(now.seconds), 2);
    *p++ = '.';
    putDigits(p, now.milliseconds, 3);
    std::memcpy(p, "Z ; ", 4);
    p += 4;
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = "0123456789abcdef"[(threadId >> shift) & 0xF];
    std::memcpy(p, " ; ", 3);
    p += 3;
    return static_cast<std::size_t>(p - out);
}

class HostEnvironment final : public AppLogEnvironment {};

// The singleton and how far its making has come. Making it may report
// (an assertion in a file function); such lines go to the sink of the moment
// instead of making the log again.
std::atomic<AppLog*> g_log{nullptr};
thread_local bool t_makingLog = false;

Mutex& makingMutex()
{
    static Mutex* mutex = new Mutex;
    return *mutex;
}

void closeAtExit()
{
    closeAppLog();
}

// The log made on first use, unless a sink of someone else's (a test's) is
// installed: then lines go there and no file is made.
void ensureLogWhenNoSink()
{
    if (g_log.load(std::memory_order_acquire) || currentDiagSink() || t_makingLog)
        return;
    AppLog::instance();
}

// The device's temporary folder (GetTempPath); without a device, the host's.
SharedString temporaryFolder()
{
    const std::shared_ptr<const DeviceConfig> device = activeDeviceConfig();
    if (!device->deviceDirectory.empty())
        return device->tempPath;
    const char* host = std::getenv("TMPDIR");
    return fromUtf8(host && *host ? host : "/tmp");
}

SharedString logFolder(const SharedString& dataFolder)
{
    if (!directoryExists(dataFolder))
        createDirectories(dataFolder);
    if (directoryExists(dataFolder))
        return dataFolder;
    return withoutTrailingSeparator(temporaryFolder());
}

}  // namespace

// ---- Environment ---------------------------------------------------------------

std::uint32_t AppLogEnvironment::tickCount()
{
    // Only the quiet gap of seconds is measured with it, on every line.
    return coarseTickMs();
}

void AppLogEnvironment::utcTime(WallClockFields& fields)
{
    getWallClockFields(fields);
}

std::uint32_t AppLogEnvironment::currentThreadId()
{
    // A thread keeps its id: one system call per thread, not per line.
    thread_local const auto id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

bool AppLogEnvironment::debugOutputEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("DRUVEX_DEBUG_OUTPUT");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void AppLogEnvironment::debugOutput(std::u16string_view piece)
{
    std::string bytes;
    appendDiagUtf8(bytes, piece);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

AppLogEnvironment& AppLogEnvironment::host()
{
    static HostEnvironment* environment = new HostEnvironment;
    return *environment;
}

// ---- The log -------------------------------------------------------------------

AppLog::AppLog(AppLogEnvironment& environment) : environment_(environment)
{
    buffer_.reserve(kBufferCapacity);
    line_.reserve(256);
}

AppLog::~AppLog()
{
    close();
}

AppLog& AppLog::instance()
{
    if (AppLog* log = g_log.load(std::memory_order_acquire))
        return *log;
    if (t_makingLog) {
        // A report from inside the making: a log that never opens takes it.
        static AppLog* unopened = new AppLog;
        return *unopened;
    }
    MutexLock lock(makingMutex());
    if (AppLog* log = g_log.load(std::memory_order_acquire))
        return *log;
    t_makingLog = true;
    const AppPaths& paths = AppPaths::instance();
    auto* log = new AppLog;  // never freed: threads may write while the program ends
    log->start(paths.getDataFolder(), paths.getModulePath());
    std::atexit(closeAtExit);
    replaceDiagSink(nullptr, log);
    g_log.store(log, std::memory_order_release);
    t_makingLog = false;
    return *log;
}

AppLog* AppLog::existingInstance()
{
    return g_log.load(std::memory_order_acquire);
}

bool AppLog::start(const SharedString& dataFolder, const SharedString& modulePath)
{
    SequencedFileName name;
    name.folder = logFolder(dataFolder);
    name.baseName = getFileTitle(modulePath);
    if (name.baseName.isEmpty())
        name.baseName = u"orv";
    name.extension = u".log.txt";
    name.count = kFileCount;
    if (!open(nextSequencedPath(name)))
        return false;
    WallClockFields now{};
    environment_.utcTime(now);
    writeFormat(kLevelAll, u"Program %ls started on %d/%02d/%02d %02d:%02d:%02d.%03d UTC", modulePath,
                now.yearsSince1900 + 1900, now.month + 1, now.dayOfMonth, now.hours, now.minutes, now.seconds,
                now.milliseconds);
    return true;
}

bool AppLog::open(const SharedString& path)
{
    RecursiveMutexLock lock(mutex_);
    if (file_.isOpen()) {
        writeOut();
        file_.close();
    }
    open_ = false;
    buffer_.clear();
    writeOutAt_ = kBufferCapacity;
    bool created = false;
    int error = kOpenFailed;
    file_.open(path.view(), kFileCreateAlways | kFileWrite, &created, &error);
    if (!file_.isOpen() || !created || error != kOpenSuccess) {
        file_.close();
        failedPath_ = path;
        return false;
    }
    failedPath_ = SharedString();
    open_ = true;
    closed_ = false;
    previousTick_ = lastTick_ = environment_.tickCount();
    path_ = path;
    writeBuffered(kByteOrderMark, 3);
    return true;
}

void AppLog::write(std::uint32_t level, int length, const char16_t* text)
{
    if ((level & levelMask_) == 0)
        return;
    if (length <= 0 || !text || text[0] == 0)
        return;
    RecursiveMutexLock lock(mutex_);
    // A closed log touches nothing else: the program may be ending, and the
    // clocks and converters go with it.
    if (closed_)
        return;
    writeLocked(level, text, static_cast<std::size_t>(length));
}

void AppLog::writeLocked(std::uint32_t level, const char16_t* text, std::size_t length)
{
    previousTick_ = lastTick_;
    lastTick_ = environment_.tickCount();
    WallClockFields now{};
    environment_.utcTime(now);
    char prefix[48];
    const std::size_t prefixLength = buildPrefix(prefix, now, environment_.currentThreadId());

    line_.assign(prefix, prefixLength);
    appendDiagUtf8(line_, std::u16string_view(text, length));
    line_.append("\r\n", 2);
    writeBuffered(line_.data(), line_.size());

    if ((level & kLevelDebugOutput) != 0 && environment_.debugOutputEnabled()) {
        char16_t widePrefix[48];
        for (std::size_t i = 0; i < prefixLength; ++i)
            widePrefix[i] = static_cast<unsigned char>(prefix[i]);
        sendToDebugger(std::u16string_view(widePrefix, prefixLength), text, length);
    }
}

void AppLog::sendToDebugger(std::u16string_view prefix, const char16_t* text, std::size_t length)
{
    debugLine_.assign(prefix);
    debugLine_.append(text, length);
    debugLine_.append(u"\r\n");
    for (std::size_t start = 0; start < debugLine_.size(); start += kDebugPieceChars) {
        const std::size_t end = std::min(debugLine_.size(), start + kDebugPieceChars);
        for (std::size_t i = start; i < end; ++i) {
            if (debugLine_[i] == 0)
                debugLine_[i] = u'.';
        }
        environment_.debugOutput(std::u16string_view(debugLine_).substr(start, end - start));
    }
}

void AppLog::writeText(std::uint32_t level, const char16_t* text)
{
    if ((level & levelMask_) == 0 || !text)
        return;
    write(level, static_cast<int>(std::char_traits<char16_t>::length(text)), text);
}

void AppLog::writeTextA(std::uint32_t level, const char* text)
{
    if ((level & levelMask_) == 0 || !text)
        return;
    const SharedString wide = diagTextFromAnsi(text);
    write(level, wide.length(), wide.c_str());
}

void AppLog::writeFormatV(std::uint32_t level, const char16_t* pattern, std::span<const FormatArg> args)
{
    if ((level & levelMask_) == 0)
        return;
    // Formatted into a buffer of the thread's own, as SharedString::formatV
    // formats, without making a string of every line. A line written while
    // the thread's buffer is in use (a report from inside the write) gets
    // one of its own.
    thread_local std::u16string threadBuffer;
    thread_local bool threadBufferInUse = false;
    std::u16string ownBuffer;
    const bool useThreadBuffer = !threadBufferInUse;
    std::u16string& text = useThreadBuffer ? threadBuffer : ownBuffer;
    text.clear();
    if (!printfFormat(text, pattern ? std::u16string_view(pattern) : std::u16string_view(), args, kFormatMaxUnits))
        text.resize(std::min(text.size(), text.find(u'\0')));
    if (useThreadBuffer)
        threadBufferInUse = true;
    write(level, static_cast<int>(text.size()), text.c_str());
    if (useThreadBuffer)
        threadBufferInUse = false;
}

void AppLog::writeFormatAV(std::uint32_t level, const char* pattern, std::span<const FormatArg> args)
{
    if ((level & levelMask_) == 0)
        return;
    SharedStringA narrow;
    narrow.formatV(pattern, args);
    const SharedString text = diagTextFromAnsi(narrow.view());
    write(level, text.length(), text.c_str());
}

void AppLog::writeLine(std::u16string_view text)
{
    write(kLevelAll, static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max())), text.data());
}

void AppLog::writeBuffered(const char* bytes, std::size_t count)
{
    if (!open_)
        return;
    if (count > writeOutAt_ - std::min(buffer_.size(), writeOutAt_)) {
        writeOut();
        if (count > kBufferCapacity && buffer_.empty()) {
            const std::int64_t written = writeFile(file_.handle(), bytes, count);
            const std::size_t taken = written > 0 ? static_cast<std::size_t>(written) : 0;
            if (taken < count) {
                hold(bytes + taken, count - taken);
                writeOutAt_ = buffer_.size() + kBufferCapacity;
            }
            return;
        }
        hold(bytes, count);
        return;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    if (lastTick_ - previousTick_ > kQuietGapMs)
        writeOut();
}

void AppLog::hold(const char* bytes, std::size_t count)
{
    if (count <= kHeldCapacity - std::min(buffer_.size(), kHeldCapacity))
        buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void AppLog::writeOut()
{
    if (buffer_.empty())
        return;
    // A full store refuses the write whole: the lines stay for a later try
    // rather than leave the log without the reason of the trouble.
    const std::int64_t written = writeFile(file_.handle(), buffer_.data(), buffer_.size());
    if (written == static_cast<std::int64_t>(buffer_.size())) {
        buffer_.clear();
        writeOutAt_ = kBufferCapacity;
        return;
    }
    if (written > 0)
        buffer_.erase(buffer_.begin(), buffer_.begin() + written);
    writeOutAt_ = buffer_.size() + kBufferCapacity;
}

void AppLog::flush()
{
    RecursiveMutexLock lock(mutex_);
    if (!open_)
        return;
    writeOut();
    flushFile(file_.handle());
}

void AppLog::writeThrough()
{
    RecursiveMutexLock lock(mutex_);
    if (open_)
        writeOut();
}

SharedString AppLog::getPath() const
{
    RecursiveMutexLock lock(mutex_);
    return open_ ? path_ : SharedString();
}

SharedString AppLog::getFailedPath() const
{
    RecursiveMutexLock lock(mutex_);
    return failedPath_;
}

bool AppLog::isOpen() const
{
    RecursiveMutexLock lock(mutex_);
    return open_;
}

void AppLog::close()
{
    // Lines from here on go where they went before the log existed, not into
    // a closed file.
    replaceDiagSink(this, nullptr);
    RecursiveMutexLock lock(mutex_);
    if (closed_)
        return;
    writeText(kLevelAll, u"Logging finished");
    closed_ = true;
    if (open_) {
        writeOut();
        file_.close();
    }
    open_ = false;
    buffer_.clear();
    writeOutAt_ = kBufferCapacity;
}

// ---- Free functions ------------------------------------------------------------

void flushLog()
{
    ensureLogWhenNoSink();
    diagFlush();
}

void writeLogThrough()
{
    // Only the program's log: a sink a test installed sees each line at once.
    if (AppLog* log = AppLog::existingInstance(); log && currentDiagSink() == log)
        log->writeThrough();
}

SharedString getLogPath()
{
    ensureLogWhenNoSink();
    AppLog* log = AppLog::existingInstance();
    return log ? log->getPath() : SharedString();
}

void makeAppLogWhenNoSink()
{
    ensureLogWhenNoSink();
}

void closeAppLog()
{
    if (AppLog* log = AppLog::existingInstance())
        log->close();
}

}  // namespace druvex
