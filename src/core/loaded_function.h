// Loading functions from the device's modules (the built-in module table,
// platform/builtin_modules.h): a process-wide cache gives each module one
// handle and a use count, failures are logged with the memory status and,
// unless quiet, shown to the user through the message sink; a LoadedFunction
// keeps its module loaded for as long as it is held.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

// A loaded module as the device hands it out; never 0 for a loaded one, and
// never the same value twice in a process.
using ModuleHandle = std::uintptr_t;

// Loads a module: a module already loaded gets its use count raised and its
// handle back; otherwise it is looked up in the module table, logged ("load
// <name>  <ms>ms @<handle>") and cached with use count 1. A module that cannot
// be loaded gives 0 with the error in the last error (126 when it does not
// exist), two log lines, and, unless `quiet`, one message to the user.
ModuleHandle loadLibrary(const char16_t* moduleName, bool quiet);

// Drops one use: above 1 only the count goes down; at the last use the module
// leaves the cache, is freed and `handle` becomes 0. A freed module is never
// handed out again, so `forget` changes nothing (it is kept for callers that
// pass it). A handle the cache does not know is left alone.
void unloadLibrary(ModuleHandle& handle, bool forget);

// The address of an export of a loaded module; null when the handle is not
// loaded (last error 6) or the module has no such export (127), after the log
// line "Missing function '<function>' in <moduleName>. Error code: <error>".
void* getProcAddress(ModuleHandle module, const char16_t* functionName, const char16_t* moduleName);

// A loaded module for as long as something holds it: unloaded (and forgotten)
// when the last reference goes.
class LoadedModule {
public:
    LoadedModule(SharedString name, ModuleHandle handle) : name_(std::move(name)), handle_(handle) {}
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const SharedString& name() const { return name_; }
    ModuleHandle handle() const { return handle_; }

private:
    SharedString name_;
    ModuleHandle handle_;
};

// A function of a module, with a shared reference to its module; the address
// is null when the module or the function is missing.
class LoadedFunction {
public:
    LoadedFunction(std::shared_ptr<LoadedModule> module, void* address)
        : module_(std::move(module)), address_(address)
    {
    }

    void* address() const { return address_; }
    explicit operator bool() const { return address_ != nullptr; }
    // The address as the function's type, e.g. as<CaptureDumpFileOnDeviceFunction>().
    template <class FunctionPointer>
    FunctionPointer as() const
    {
        return reinterpret_cast<FunctionPointer>(address_);
    }
    // Null when the module could not be loaded.
    const std::shared_ptr<LoadedModule>& module() const { return module_; }

private:
    std::shared_ptr<LoadedModule> module_;
    void* address_;
};

// Loads `moduleName` (loadLibrary, not quiet) and looks up `functionName` in it
// (getProcAddress). Never null; the function's address is null on failure.
std::shared_ptr<LoadedFunction> makeLoadedFunction(const char16_t* functionName, const char16_t* moduleName);

}  // namespace druvex
