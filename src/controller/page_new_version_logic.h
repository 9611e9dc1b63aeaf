// PageNewVersionLogic: the logic of the new-version page (id 3): the newer
// installer that the update bulletin offers, its release notes, and whether
// the user wants it. The choice is kept for the whole process, so that the
// page shows it again when the wizard comes back.
#pragma once

#include <cstdint>
#include <memory>

#include "controller/page_logic.h"
#include "text/shared_string.h"

namespace druvex {

class BulletinVersion;
class LiveUpdateContext;

class PageNewVersionLogic final : public PageLogic {
public:
    // Takes the bulletin's newer installer (an assertion is reported when
    // there is none); the choice starts from the last one made, or 1 when
    // the installer is not built for this installer platform.
    explicit PageNewVersionLogic(LiveUpdateContext& controller);

    bool onNext() override { return true; }
    bool onBack() override { return true; }

    // The newer installer's package matched this installer's platform.
    std::uint8_t getFlag() const { return flag_; }
    std::uint8_t getChoice() const { return choice_; }
    // Also kept as the process's last choice.
    void setChoice(std::uint8_t choice);
    SharedString getReleaseNotes() const;
    bool hasReleaseNotes() const;
    // The newer version as text; empty without one.
    SharedString getNewVersionText() const;

private:
    LiveUpdateContext& controller_;
    std::shared_ptr<BulletinVersion> record_;
    std::uint8_t choice_ = 0;
    std::uint8_t flag_ = 0;
};

}  // namespace druvex
