#include "core/app_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "core/path_text.h"
#include "platform/device_root.h"
#include "text/mutex.h"

namespace druvex {

namespace {

struct Instance {
    Mutex mutex;
    std::unique_ptr<AppPaths> paths GUARDED_BY(mutex);
};

Instance& holder()
{
    // Never destroyed: the log may ask for its folder while static objects go.
    static Instance* instance = new Instance;
    return *instance;
}

std::string readExecutablePath()
{
    std::vector<char> buffer(4096);
    while (true) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

ModulePathSources currentModulePathSources()
{
    ModulePathSources sources;
    sources.executable = readExecutablePath();
    if (const char* value = std::getenv("DRUVEX_MODULE_PATH"))
        sources.modulePathEnv = value;
    return sources;
}

SharedString findModulePath(const ModulePathSources& sources)
{
    DeviceRoot& root = DeviceRoot::instance();
    SharedString path;
    if (!root.isIdentity() && !sources.executable.empty() && root.toDevicePath(sources.executable, path))
        return path;
    if (!sources.modulePathEnv.empty())
        return fromUtf8(sources.modulePathEnv);
    if (root.isIdentity() && !sources.executable.empty())
        return fromUtf8(sources.executable);
    return SharedString();
}

AppPaths::AppPaths(const SharedString& programFile)
{
    const int separator = findLastSeparator(programFile);
    if (separator < 0)
        return;
    programFolder_ = programFile.left(separator);
    modulePath_ = programFolder_ + u"/" + programFile.midToEnd(separator + 1);
    dataFolder_ = programFolder_;
    documentsFolder_ = programFolder_;
    geoidFolder_ = programFolder_ + u"/geoids";
    geodataFolder_ = programFolder_ + u"/geo";
}

const AppPaths& AppPaths::instance()
{
    Instance& instance = holder();
    MutexLock lock(instance.mutex);
    if (!instance.paths)
        instance.paths = std::make_unique<AppPaths>(findModulePath(currentModulePathSources()));
    return *instance.paths;
}

void AppPaths::setInstance(const SharedString& programFile)
{
    Instance& instance = holder();
    MutexLock lock(instance.mutex);
    instance.paths = std::make_unique<AppPaths>(programFile);
}

void AppPaths::resetInstance()
{
    Instance& instance = holder();
    MutexLock lock(instance.mutex);
    instance.paths.reset();
}

}  // namespace druvex
