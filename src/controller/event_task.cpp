#include "controller/event_task.h"

#include <ostream>
#include <utility>

#include "controller/page_installation_logic.h"
#include "platform/manual_reset_event.h"
#include "text/mutex.h"
#include "text/terminal_text.h"

namespace druvex {

namespace {

class ManualCompletionEvent final : public CompletionEvent {
public:
    explicit ManualCompletionEvent(WaitTimeouts* timeouts) : event_(false, timeouts) {}
    void set() override { event_.set(); }
    void reset() override { event_.reset(); }
    bool wait(std::uint32_t timeoutMs) override { return event_.wait(timeoutMs); }

private:
    ManualResetEvent event_;
};

}  // namespace

std::unique_ptr<CompletionEvent> makeCompletionEvent(WaitTimeouts* timeouts)
{
    return std::make_unique<ManualCompletionEvent>(timeouts);
}

EventTask::EventTask(PageInstallationLogic& logic, std::ostream& out, std::unique_ptr<CompletionEvent> event)
    : logic_(logic), out_(out), event_(std::move(event))
{
    logic_.setSink(this);
}

EventTask::~EventTask()
{
    logic_.clearSink();
}

bool EventTask::wait()
{
    logic_.startProcess();
    while (!done_.load()) {
        // The limit holds only while the run has reported nothing: a run that
        // works may take as long as it needs.
        const std::uint32_t limit = reported_.load() ? kInfiniteWait : kSilentRunTimeoutMs;
        if (!event_ || !event_->wait(limit)) {
            done_.store(true);
            break;
        }
        // Reset before the flags are read again: a report that sets the event
        // after this still wakes the next wait, and one that came before it
        // wrote its flags first.
        event_->reset();
    }
    return result_.load();
}

void EventTask::setProgressRange(std::uint64_t)
{
    MutexLock lock(nameMutex_);
    lastName_.clear();
}

void EventTask::setProgressPosition(const SharedString& item, std::uint64_t)
{
    {
        MutexLock lock(nameMutex_);
        if (!(item == lastName_)) {
            lastName_ = item;
            // A name from a package or a script, on the terminal.
            const std::string line = terminalText(toUtf8(item).view());
            out_.write(line.data(), static_cast<std::streamsize>(line.size()));
            out_.put('\n');
            out_.flush();
        }
    }
    noteReport();
}

void EventTask::setBackupPosition(std::uint32_t, std::uint32_t, std::uint32_t)
{
    noteReport();
}

void EventTask::noteReport()
{
    // Only the first report changes what the waiter waits for.
    if (!reported_.exchange(true) && event_)
        event_->set();
}

void EventTask::onRunFinished(bool finishedOk, bool, bool)
{
    finish(finishedOk);
}

void EventTask::onBackupFinished(bool ok, std::uint32_t)
{
    finish(ok);
}

void EventTask::finish(bool ok)
{
    result_.store(ok);
    done_.store(true);
    if (event_)
        event_->set();
}

}  // namespace druvex
