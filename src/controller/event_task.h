// EventTask: the waiter of a silent installation. It stands in for the
// installation page as the logic's sink while the run goes on, writes each
// new item name on its own line to the status output, and sleeps on an event
// until the run ends: with a limit of 3,000,000 ms while the run has reported
// nothing, without one afterwards. It wakes only when something changes (the
// first report, the end), never in a loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>

#include "controller/installation_page_sink.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class PageInstallationLogic;
class WaitTimeouts;

// How long a silent run may report nothing before it counts as failed.
constexpr std::uint32_t kSilentRunTimeoutMs = 3000000;

// The event a waiter sleeps on: set by the reporting thread, reset by the
// waiter after each wake.
class CompletionEvent {
public:
    virtual ~CompletionEvent() = default;
    virtual void set() = 0;
    virtual void reset() = 0;
    // True when the event was set within `timeoutMs` (kInfiniteWait: no limit).
    virtual bool wait(std::uint32_t timeoutMs) = 0;
};

// A manual-reset event; `timeouts` (null: real time) must outlive it.
std::unique_ptr<CompletionEvent> makeCompletionEvent(WaitTimeouts* timeouts = nullptr);

class EventTask final : public InstallationPageSink {
public:
    // Registers itself as the logic's sink. Without an event every wait
    // fails at once, which ends the wait with the result as it stands.
    EventTask(PageInstallationLogic& logic, std::ostream& out, std::unique_ptr<CompletionEvent> event);
    // Tells the logic to forget its sink.
    ~EventTask() override;
    EventTask(const EventTask&) = delete;
    EventTask& operator=(const EventTask&) = delete;

    // Starts the logic's run and waits for its end; the run's outcome. An
    // end reported while the run is being started counts.
    bool wait();

    // A new range lets the next name print even when it equals the last one.
    void setProgressRange(std::uint64_t total) override;
    void setProgressPosition(const SharedString& item, std::uint64_t position) override;
    void onRunFinished(bool finishedOk, bool changesMade, bool noEndPage) override;
    // A backup or restore reports no item names, only how far it has got:
    // that is a report too, after which the run may take as long as it needs.
    void setBackupPosition(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
    // A backup or restore ends its run with this report alone.
    void onBackupFinished(bool ok, std::uint32_t reserved) override;

private:
    void noteReport();
    void finish(bool ok);

    PageInstallationLogic& logic_;
    std::ostream& out_;
    std::unique_ptr<CompletionEvent> event_;
    std::atomic<bool> done_{false};
    std::atomic<bool> result_{false};
    std::atomic<bool> reported_{false};
    Mutex nameMutex_;
    SharedString lastName_ GUARDED_BY(nameMutex_);
};

}  // namespace druvex
