// A device for tests that end their program (crash and time-out death tests).
// The "threadsafe" death-test style re-executes the test binary and runs the
// test again from its start in the child, so the child must find the same
// device: the parent makes the device directory and names it in the
// environment, and the child's CrashTestDevice takes it from there. The
// device's registry names a dump directory, the program file lies at
// kProgramFile (so the log and the dumps go below its folder), and children
// run with the sanitizers' own fault handlers off (ASAN_OPTIONS), so that the
// program's handlers see the faults.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace druvex::test {

class CrashTestDevice {
public:
    static constexpr const char16_t* kProgramFile = u"\\Program Files\\Crash\\crashtest.exe";
    // Host paths below fs/ of the data folder, the dumps and the dump directory.
    static constexpr const char* kDataFolder = "Program Files/Crash";
    static constexpr const char* kDumpsFolder = "Program Files/Crash/SupportInfo/Dumps";
    static constexpr const char* kDumpDirectory = "Windows/DumpFiles";

    // `withDumpDirectory`: whether the registry names the dump directory.
    explicit CrashTestDevice(bool withDumpDirectory = true);
    ~CrashTestDevice();
    CrashTestDevice(const CrashTestDevice&) = delete;
    CrashTestDevice& operator=(const CrashTestDevice&) = delete;

    std::filesystem::path hostPath(std::string_view relative) const;
    bool exists(std::string_view relative) const;
    std::string readFile(std::string_view relative) const;
    void writeFile(std::string_view relative, std::string_view content) const;

    // The application log written last in the data folder (the number its
    // ".seq.ini" holds); empty when there is none.
    std::string lastLog() const;

private:
    std::filesystem::path directory_;
    bool owner_ = false;
    std::string previousStyle_;
    std::string previousAsanOptions_;
    bool hadAsanOptions_ = false;
};

// True when `text` holds the fragments in this order.
bool containsInOrder(std::string_view text, std::initializer_list<std::string_view> fragments);

}  // namespace druvex::test
