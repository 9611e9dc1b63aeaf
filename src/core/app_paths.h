// The program's own folders, derived once from the program file's device path:
// where the program lies, where its data (log, crash dumps, statistics, caches)
// and documents go.
#pragma once

#include <memory>
#include <string>

#include "text/shared_string.h"

namespace druvex {

// Where the program file's path comes from; tests inject their own.
struct ModulePathSources {
    std::string executable;      // the running executable's host path (/proc/self/exe)
    std::string modulePathEnv;   // the device path in DRUVEX_MODULE_PATH, UTF-8; empty when unset
};

// The program file's device path: the executable reverse-mapped when it lies
// below the device's fs/ folder, else DRUVEX_MODULE_PATH, else (no device) the
// executable's host path; empty when none applies.
SharedString findModulePath(const ModulePathSources& sources);
// The sources of the running process.
ModulePathSources currentModulePathSources();

class AppPaths {
public:
    // The process-wide folders, made on first use from the running program.
    static const AppPaths& instance();
    // Replaces them with folders derived from `programFile` (tests; start-up
    // before any thread runs). No other thread may hold the old instance.
    static void setInstance(const SharedString& programFile);
    // Makes the next instance() derive the folders from the running program again.
    static void resetInstance();

    // Derives every folder from the program file's path. Without a separator
    // in it, every folder stays empty.
    explicit AppPaths(const SharedString& programFile);

    // The program folder, "/" and the file name.
    const SharedString& getModulePath() const { return modulePath_; }
    // The program file's folder, without a trailing separator.
    const SharedString& getProgramFolder() const { return programFolder_; }
    const SharedString& getDataFolder() const { return dataFolder_; }
    const SharedString& getDocumentsFolder() const { return documentsFolder_; }
    const SharedString& getGeoidFolder() const { return geoidFolder_; }      // program folder + "/geoids"
    const SharedString& getGeodataFolder() const { return geodataFolder_; }  // program folder + "/geo"

private:
    SharedString modulePath_;
    SharedString programFolder_;
    SharedString dataFolder_;
    SharedString documentsFolder_;
    SharedString geoidFolder_;
    SharedString geodataFolder_;
};

}  // namespace druvex
