// The controller's licence lookup: the installer data's licence for the
// current language, compared with the one the installed log recorded.
#include <gtest/gtest.h>

#include "controller/controller_fixture.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

EulaRecordPtr eula(const char16_t* name, std::uint16_t localeId, const char16_t* path)
{
    return std::make_shared<EulaRecord>(EulaRecord{SharedString(name), localeId, SharedString(path)});
}

class EulaLookup : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        makeController();
    }

    void addLicence(const char16_t* name, std::uint16_t localeId, const char16_t* prompt = u"License",
                    const char16_t* url = u"")
    {
        FeaturePtr item = makeFeaturePtr();
        item->setName(SharedString(name));
        item->setPrompt(SharedString(prompt));
        item->setLocaleId(localeId);
        item->setUrl(SharedString(url));
        controller().getInstallData().eulaItem()->addSubFeature(item);
    }
};

TEST_F(EulaLookup, TheLicenceServingTheLanguageBestIsFound)
{
    addLicence(u"English", 1033);
    addLicence(u"Deutsch", 1031, u"Lizenz");
    addLicence(u"Online", 1036, u"", u"http://127.0.0.1/eula_fr.txt");
    struct Row {
        std::uint16_t language;
        const char16_t* name;
        std::uint16_t localeId;
        const char16_t* path;
    };
    const Row rows[] = {
        {1031, u"Lizenz", 1031, u"ExtraData/EULA/Deutsch"},
        {2055, u"Lizenz", 1031, u"ExtraData/EULA/Deutsch"},  // Swiss German: the same primary language
        {1033, u"License", 1033, u"ExtraData/EULA/English"},
        {1040, u"License", 1033, u"ExtraData/EULA/English"},  // no Italian: English before any other
        {1036, u"Online", 1036, u"http://127.0.0.1/eula_fr.txt"},  // known by its address; named by its name
    };
    for (const Row& row : rows) {
        controller().setLanguage(row.language, SharedString());
        const EulaRecordPtr found = controller().findEula();
        ASSERT_NE(found, nullptr) << row.language;
        EXPECT_EQ(found->name, SharedString(row.name)) << row.language;
        EXPECT_EQ(found->localeId, row.localeId) << row.language;
        EXPECT_EQ(found->path, SharedString(row.path)) << row.language;
        EXPECT_TRUE(controller().hasEulaInPayload());
    }
}

TEST_F(EulaLookup, LicencesAreTheSameOnlyByNameLocaleAndPath)
{
    const EulaRecordPtr licence = eula(u"License", 1031, u"ExtraData/EULA/Deutsch");
    EXPECT_TRUE(InstallerController::isSameEula(licence, eula(u"License", 1031, u"ExtraData/EULA/Deutsch")));
    EXPECT_FALSE(InstallerController::isSameEula(licence, eula(u"License", 1033, u"ExtraData/EULA/Deutsch")));
    EXPECT_FALSE(InstallerController::isSameEula(licence, eula(u"Lizenz", 1031, u"ExtraData/EULA/Deutsch")));
    EXPECT_FALSE(InstallerController::isSameEula(licence, eula(u"License", 1031, u"ExtraData/EULA/deutsch")));
    EXPECT_FALSE(InstallerController::isSameEula(licence, nullptr));
    EXPECT_FALSE(InstallerController::isSameEula(nullptr, licence));
    EXPECT_FALSE(InstallerController::isSameEula(nullptr, nullptr));
}

TEST_F(EulaLookup, TheInstalledLicenceIsTakenOnlyWhenItIsThePayloads)
{
    // Without a licence item there is none to take.
    controller().getInstalledLog()->setEula(eula(u"License", 1033, u"ExtraData/EULA/Deutsch"));
    EXPECT_EQ(controller().findEula(), nullptr);
    EXPECT_FALSE(controller().hasEulaInPayload());
    EXPECT_FALSE(controller().isEulaAlreadyAccepted());
    controller().takeInstalledEula();
    EXPECT_EQ(controller().getEula(), nullptr);

    addLicence(u"Deutsch", 1031);
    controller().setLanguage(1031, SharedString(u"Deutsch"));

    // Accepted for another language: a different licence.
    EXPECT_EQ(controller().getInstalledEula(), controller().getInstalledLog()->getEula());
    EXPECT_FALSE(controller().isEulaAlreadyAccepted());
    controller().takeInstalledEula();
    EXPECT_EQ(controller().getEula(), nullptr);

    controller().getInstalledLog()->setEula(eula(u"License", 1031, u"ExtraData/EULA/Deutsch"));
    EXPECT_TRUE(controller().isEulaAlreadyAccepted());
    controller().takeInstalledEula();
    ASSERT_NE(controller().getEula(), nullptr);
    EXPECT_TRUE(InstallerController::isSameEula(controller().getEula(), controller().findEula()));

    controller().setEula(nullptr);
    EXPECT_EQ(controller().getEula(), nullptr);
}

}  // namespace
}  // namespace druvex
