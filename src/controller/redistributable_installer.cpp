#include "controller/redistributable_installer.h"

#include <optional>

#include "controller/custom_action_hooks.h"
#include "controller/installer_controller.h"
#include "controller/package_folder_unpacker.h"
#include "controller/wizard_pages.h"
#include "data/package_sources.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "host/installer_functions.h"
#include "host/installer_script_runner.h"
#include "payload/payload_archive.h"
#include "text/char_class.h"
#include "text/diag.h"
#include "text/mutex.h"
#include "text/numbers.h"

namespace druvex {

namespace {

constexpr char16_t kListEntry[] = u"ExtraData/Redist/RedistInfo";
constexpr char16_t kPackageEntryPrefix[] = u"ExtraData_Redist_";
constexpr char16_t kSetupScript[] = u"setup.lua";

SharedString packageEntryName(const SharedString& name)
{
    return kPackageEntryPrefix + name;
}

bool containsName(const std::vector<SharedString>& names, const SharedString& name)
{
    for (const SharedString& present : names) {
        if (equalsNoCase(present.view(), name.view()))
            return true;
    }
    return false;
}

// A script's answer read as a whole decimal integer.
bool scriptInteger(const SharedString& text, std::int32_t& value)
{
    int parsed = 0;
    if (text.isEmpty() || !parseInt(text.c_str(), parsed) || intToText(parsed) != text)
        return false;
    value = parsed;
    return true;
}

}  // namespace

RedistributableInstaller::RedistributableInstaller(InstallerController& controller, PayloadArchive& archive)
    : controller_(controller), archive_(archive)
{
}

bool RedistributableInstaller::readList(std::vector<RedistributablePtr>& list) const
{
    list.clear();
    if (archive_.findEntry(kListEntry) < 0)
        return true;
    std::vector<std::uint8_t> bytes;
    if (!archive_.extractTo(kListEntry, bytes) || !parseRedistInfo(bytes.data(), bytes.size(), list)) {
        list.clear();
        logError(u"The redistributables list ExtraData/Redist/RedistInfo cannot be read");
        return false;
    }
    return true;
}

void RedistributableInstaller::loadDefinitions()
{
    std::vector<RedistributablePtr> list;
    readList(list);
    WStringMultimap& sources = controller_.getPackageSources();
    for (const RedistributablePtr& item : list) {
        const SharedString entryName = packageEntryName(item->getNameRef());
        const std::int32_t index = archive_.findEntry(entryName);
        if (index < 0)
            continue;
        const std::uint64_t size = archive_.entryAt(index).packedSize;
        sources.addIfAbsent(*item, kSourceArchiveEntry, entryName, static_cast<std::uint32_t>(size),
                            static_cast<std::uint32_t>(size >> 32));
    }
    MutexLock lock(mutex_);
    definitions_ = std::move(list);
    answers_.clear();
    required_.clear();
}

void RedistributableInstaller::registerDownloads()
{
    std::vector<RedistributablePtr> list;
    if (!readList(list))
        return;
    WStringMultimap& sources = controller_.getPackageSources();
    MutexLock lock(mutex_);
    for (const RedistributablePtr& item : list) {
        for (RedistributablePtr& definition : definitions_) {
            if (!equalsNoCase(definition->getNameRef().view(), item->getNameRef().view()) ||
                equalsNoCase(definition->getDigest().view(), item->getDigest().view()))
                continue;
            // Another package under the same name: what was registered for the
            // old one must not be installed in its place.
            sources.eraseKey(*definition);
            definition = item;
        }
        if (!item->getUrl().isEmpty()) {
            const auto size = static_cast<std::uint64_t>(item->getCompressedSize());
            sources.addIfAbsent(*item, kSourceDownload, item->getUrl(), static_cast<std::uint32_t>(size),
                                static_cast<std::uint32_t>(size >> 32));
        }
    }
}

bool RedistributableInstaller::check(InstallerController& controller, const Redistributable& item,
                                     RedistributableCheck& answer)
{
    logInfo((u"Checking redistributable " + item.getNameRef()).view());
    if (item.getScript().isEmpty()) {
        logError((u"Redistributable " + item.getNameRef() + u" has no check script").view());
        return false;
    }
    InstallerScriptRunner runner(&controller);
    SharedString results[2];
    if (runner.loadScriptText(item.getScript()) != 1 || !runner.callFunction(u"check", 0, nullptr, 2, results)) {
        logError((u"The check of redistributable " + item.getNameRef() + u" failed: " + runner.errorText()).view());
        return false;
    }
    logInfo((u"result: " + results[0] + u" " + results[1]).view());
    if (!scriptInteger(results[0], answer.result)) {
        logError((u"The check of redistributable " + item.getNameRef() + u" answered no result code").view());
        return false;
    }
    answer.message = results[1];
    return true;
}

void RedistributableInstaller::storeAnswer(const SharedString& name, const RedistributableCheck& check)
{
    for (Answer& answer : answers_) {
        if (equalsNoCase(answer.name.view(), name.view())) {
            answer.check = check;
            return;
        }
    }
    answers_.push_back(Answer{name, check});
}

void RedistributableInstaller::runChecks()
{
    // The scripts run without the lock: they may take long, and they reach
    // the controller.
    const std::vector<RedistributablePtr> definitions = getDefinitions();
    std::vector<Answer> answers;
    for (const RedistributablePtr& item : definitions) {
        RedistributableCheck answer;
        if (check(controller_, *item, answer))
            answers.push_back(Answer{item->getNameRef(), answer});
    }
    MutexLock lock(mutex_);
    answers_ = std::move(answers);
}

void RedistributableInstaller::addRequired(const SharedString& name, std::vector<SharedString>& visiting)
{
    if (name.isEmpty() || containsName(required_, name) || containsName(visiting, name))
        return;
    visiting.push_back(name);
    if (const RedistributablePtr definition = findDefinition(name)) {
        for (int i = 0; i < definition->nameListCount(); ++i)
            addRequired(definition->nameListItem(i), visiting);
    }
    visiting.pop_back();
    required_.push_back(name);
}

void RedistributableInstaller::evaluateRequired()
{
    std::vector<CustomActionPtr> actions;
    controller_.getCustomActionHooks().listRunCustomActions(actions);
    FeatureSelection toInstall;
    FeatureSelection toRemove;
    controller_.getFeatureChanges(toInstall, toRemove);
    std::vector<const ContentHolder*> holders;
    for (const FeaturePtr& feature : toInstall)
        holders.push_back(feature.get());
    for (const CustomActionPtr& action : actions)
        holders.push_back(action.get());

    MutexLock lock(mutex_);
    required_.clear();
    if (controller_.getPageSequence().getMode() == kModeDownload)
        return;
    std::vector<SharedString> visiting;
    for (const ContentHolder* holder : holders) {
        for (int i = 0; i < holder->requiredRedistCount(); ++i)
            addRequired(holder->requiredRedistAt(i), visiting);
    }
}

RedistributablePtr RedistributableInstaller::findDefinition(const SharedString& name) const
{
    for (const RedistributablePtr& definition : definitions_) {
        if (equalsNoCase(definition->getNameRef().view(), name.view()))
            return definition;
    }
    return nullptr;
}

const RedistributableInstaller::Answer* RedistributableInstaller::findAnswer(const SharedString& name) const
{
    for (const Answer& answer : answers_) {
        if (equalsNoCase(answer.name.view(), name.view()))
            return &answer;
    }
    return nullptr;
}

bool RedistributableInstaller::isPresent(const SharedString& name) const
{
    const Answer* answer = findAnswer(name);
    return answer && answer->check.result >= kRedistributablePresent;
}

bool RedistributableInstaller::needsInstall() const
{
    MutexLock lock(mutex_);
    for (const SharedString& name : required_) {
        if (!isPresent(name))
            return true;
    }
    return false;
}

bool RedistributableInstaller::getWorstResult(SharedString& message) const
{
    MutexLock lock(mutex_);
    const Answer* worst = nullptr;
    for (const SharedString& name : required_) {
        const Answer* answer = findAnswer(name);
        if (!answer) {
            DRUVEX_DBGCHK("A required redistributable has no check result");
            continue;
        }
        if (!worst || answer->check.result < worst->check.result)
            worst = answer;
    }
    if (!worst || worst->check.result >= 0)
        return true;
    message = worst->check.message;
    return false;
}

bool RedistributableInstaller::isPackageMissing() const
{
    MutexLock lock(mutex_);
    for (const SharedString& name : required_) {
        if (!isPresent(name) && archive_.findEntry(packageEntryName(name)) < 0)
            return true;
    }
    return false;
}

std::vector<SharedString> RedistributableInstaller::getRedistributablesToInstall() const
{
    MutexLock lock(mutex_);
    std::vector<SharedString> names;
    for (const SharedString& name : required_) {
        if (!isPresent(name))
            names.push_back(name);
    }
    return names;
}

std::vector<RedistributablePtr> RedistributableInstaller::getDefinitions() const
{
    MutexLock lock(mutex_);
    return definitions_;
}

bool RedistributableInstaller::getCheckResult(const SharedString& name, RedistributableCheck& check) const
{
    MutexLock lock(mutex_);
    const Answer* answer = findAnswer(name);
    if (!answer)
        return false;
    check = answer->check;
    return true;
}

std::vector<SharedString> RedistributableInstaller::getRequired() const
{
    MutexLock lock(mutex_);
    return required_;
}

bool RedistributableInstaller::installRequired(RedistributableInstallObserver* observer, SharedString& failedName)
{
    cancel_.store(false);
    failedName = SharedString();
    const std::vector<SharedString> names = getRedistributablesToInstall();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (cancel_.load())
            return false;
        RedistributablePtr item;
        std::optional<RedistributableCheck> answer;
        {
            MutexLock lock(mutex_);
            item = findDefinition(names[i]);
            if (const Answer* found = findAnswer(names[i]))
                answer = found->check;
        }
        if (observer)
            observer->onRedistributableStart(item ? item->displayName() : names[i], static_cast<int>(i),
                                             static_cast<int>(names.size()));
        failedName = names[i];
        if (!item) {
            logError((u"Redistributable " + names[i] + u" is required but not defined").view());
            controller_.setRedistLastError(-1);
            return false;
        }
        // A check that says it cannot go on this machine fails it untried.
        if (answer && answer->result < 0) {
            logError((u"Redistributable " + names[i] + u" cannot be installed: " + answer->message).view());
            controller_.setRedistLastError(answer->result);
            return false;
        }
        if (!installOne(*item, observer))
            return false;
    }
    failedName = SharedString();
    return true;
}

bool RedistributableInstaller::installOne(const Redistributable& item, RedistributableInstallObserver* observer)
{
    const SharedString& name = item.getNameRef();
    logInfo((u"Installing redistributable " + name).view());
    controller_.setRedistLastError(0);
    std::vector<PackageSource> sources;
    const std::shared_ptr<PackageFolderUnpacker>& unpacker = controller_.getPackageFolderUnpacker();
    const std::shared_ptr<HalAccess> host = controller_.getHalIn();
    const SharedString folder = unpackFolderFor(controller_.getWorkFolder(), u"Redist", name);
    if (!controller_.getPackageSources().equalRange(item, sources) || !unpacker ||
        !unpacker->unpackToFolder(item, sources, *host, folder)) {
        logError((u"The package of redistributable " + name + u" could not be unpacked into " + folder).view());
        controller_.setRedistLastError(static_cast<std::int32_t>(kScriptErrorFileNotFound));
        return false;
    }
    setCustomActionExecFolder(folder);
    InstallerScriptRunner runner(&controller_);
    runner.setElevated();
    SharedString result;
    if (observer)
        observer->onRedistributableInstallerRun(item.displayName());
    if (runner.loadScriptFile(*host, folder + u"\\" + kSetupScript) != 1 ||
        !runner.callFunction(u"install", 0, nullptr, 1, &result)) {
        logError((u"Installing redistributable " + name + u" failed: " + runner.errorText()).view());
        if (controller_.getRedistLastError() == 0)
            controller_.setRedistLastError(static_cast<std::int32_t>(runner.errorCode()));
        return false;
    }
    std::int32_t code = 0;
    if (result == u"false" || (scriptInteger(result, code) && code < 0)) {
        logError((u"Installing redistributable " + name + u" failed: install answered " + result).view());
        if (controller_.getRedistLastError() == 0)
            controller_.setRedistLastError(code < 0 ? code : -1);
        return false;
    }
    logInfo((u"Redistributable " + name + u" installed").view());
    RedistributableCheck answer;
    if (check(controller_, item, answer)) {
        MutexLock lock(mutex_);
        storeAnswer(name, answer);
    }
    return true;
}

}  // namespace druvex
