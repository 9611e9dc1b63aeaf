// Captures diagnostics (log lines and assertion reports) for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "text/diag.h"

namespace druvex::test {

class DiagCapture final : public DiagSink {
public:
    DiagCapture() : previous_(setDiagSink(this)) {}
    ~DiagCapture() override { setDiagSink(previous_); }
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;

    void writeLine(std::u16string_view text) override
    {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(text);
    }

    std::vector<std::u16string> lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // Lines that start with "DBGCHK".
    int dbgChkCount() const
    {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const auto& line : lines_)
            count += line.starts_with(u"DBGCHK") ? 1 : 0;
        return count;
    }

    bool contains(std::u16string_view fragment) const
    {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_)
            if (line.find(fragment) != std::u16string::npos)
                return true;
        return false;
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    DiagSink* previous_;
    mutable std::mutex mutex_;
    std::vector<std::u16string> lines_;
};

}  // namespace druvex::test
