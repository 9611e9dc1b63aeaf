// A product for the mode and feature-change tests: a controller with the
// program's settings (pristine and current), a target platform, recording
// page logics and scripted earlier-installation finders, and helpers that
// put features into the installer data and into the installed log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "controller/fake_earlier_installations.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "text/shared_string.h"

namespace druvex::test {

inline constexpr char16_t kProductUuid[] = u"{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}";

class InstalledStateFixture : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        source_->installerPath = SharedString(u"\\Application Data\\Installer");
    }

    // A controller for "Survey Pro" 4.1 on a Qm40 target. Options are taken
    // from options_ as they stand.
    InstallerController& makeProduct()
    {
        earlier_ = std::make_shared<FakeEarlierInstallations>();
        InstallerController& controller = makeController();
        controller.setPageLogicFactory(std::make_shared<RecordingPageLogicFactory>(journal_));
        controller.setEarlierInstallations(earlier_);
        controller.setTargetPlatform(kPlatformQm40);
        for (InstallerSettings* settings : {&controller.getSettings(), &controller.getInstallData().settings()}) {
            settings->setProgramName(SharedString(u"Survey Pro"));
            settings->setProgramVersion(SharedString(u"4.1"));
            settings->setProgramUuid(SharedString(kProductUuid));
        }
        controller.getInstalledLog()->setProgramName(SharedString(u"Survey Pro"));
        controller.getInstalledLog()->setProgramVersion(VersionNumber::fromText(u"4.1"));
        controller.getInstalledLog()->setInstallerVersion(VersionNumber::fromText(u"5.1"));
        return controller;
    }

    // A pristine setting, which each mode preparation starts from, and the
    // current one.
    void setSetting(InstallerSettingKey key, const char16_t* value)
    {
        controller().getSettings().set(key, SharedString(value));
        controller().getInstallData().settings().set(key, SharedString(value));
    }

    // A feature of the installer data below `parent` (the "Feature" root
    // when null), with a version and a size.
    FeaturePtr addFeature(const char16_t* name, const FeaturePtr& parent = nullptr, const char16_t* version = u"1.0",
                          std::int64_t size = 0)
    {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(name));
        feature->setVersion(SharedString(version));
        feature->setReqSpace(size);
        (parent ? parent : controller().getInstallData().featureRoot())->addSubFeature(feature);
        return feature;
    }

    // A record of the installed log named by its path ("Feature/Maps").
    FeaturePtr addInstalled(const char16_t* path, const char16_t* version = u"1.0", std::int64_t size = 0)
    {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(path));
        feature->setVersion(SharedString(version));
        feature->setReqSpace(size);
        controller().getInstalledLog()->addFeature(feature);
        return feature;
    }

    // The device folder of the product's data, as the host spells it.
    static std::string productFolder()
    {
        return "Application Data/Installer/" + std::string(toUtf8(SharedString(kProductUuid)).c_str());
    }
    // `log` where the product's installed state is read from.
    void writeInstalledLog(InstalledLog& log)
    {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(log.serialize(bytes));
        device().writeFile(productFolder() + "/InstalledLog.xml", std::string(bytes.begin(), bytes.end()));
    }

    // The full names of the features, in order.
    template <class Features>
    static std::vector<std::string> names(const Features& features)
    {
        std::vector<std::string> out;
        for (const auto& feature : features)
            out.emplace_back(toUtf8(feature->getName()).c_str());
        return out;
    }

    std::shared_ptr<FakeEarlierInstallations> earlier_;
};

}  // namespace druvex::test
