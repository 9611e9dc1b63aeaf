// PageSinkSlot: the sink pointer through which a page logic reports from a
// thread of its own. A report runs under the slot's lock, and setting the
// slot (to null when the page goes) waits for a report in progress, so that a
// page that has left is never called afterwards.
#pragma once

#include "text/mutex.h"

namespace druvex {

template <class Sink>
class PageSinkSlot {
public:
    void set(Sink* sink)
    {
        MutexLock lock(mutex_);
        sink_ = sink;
    }

    bool isSet() const
    {
        MutexLock lock(mutex_);
        return sink_ != nullptr;
    }

    // Calls `report` with the sink, when there is one. The sink must not set
    // the slot from within the report.
    template <class Report>
    void report(Report&& call)
    {
        MutexLock lock(mutex_);
        if (sink_)
            call(*sink_);
    }

private:
    mutable Mutex mutex_;
    Sink* sink_ GUARDED_BY(mutex_) = nullptr;
};

}  // namespace druvex
