// The licence the installer data carries for the current language, the one
// the user accepts, and the one accepted when the program was installed: an
// unchanged licence need not be accepted again.
#include "controller/installer_controller.h"

#include "data/install_data.h"
#include "data/installed_log.h"

namespace druvex {

EulaRecordPtr InstallerController::findEula() const
{
    const FeaturePtr eulas = installData_->eulaItem();
    if (!eulas)
        return nullptr;
    const FeaturePtr item = eulas->findSubFeatureForLanguage(language_);
    if (!item)
        return nullptr;
    auto record = std::make_shared<EulaRecord>();
    record->name = item->getDisplayName();
    record->localeId = item->getLocaleId();
    // A licence kept on the update server is known by its address.
    record->path = item->getUrl().isEmpty() ? item->getName() : item->getUrl();
    return record;
}

EulaRecordPtr InstallerController::getInstalledEula() const
{
    return installedLog_->getEula();
}

bool InstallerController::isSameEula(const EulaRecordPtr& a, const EulaRecordPtr& b)
{
    return a && b && a->name == b->name && a->localeId == b->localeId && a->path == b->path;
}

bool InstallerController::hasEulaInPayload() const
{
    return findEula() != nullptr;
}

bool InstallerController::isEulaAlreadyAccepted() const
{
    return isSameEula(getInstalledEula(), findEula());
}

void InstallerController::takeInstalledEula()
{
    EulaRecordPtr payload = findEula();
    if (isSameEula(getInstalledEula(), payload))
        eula_ = std::move(payload);
}

}  // namespace druvex
