// ApplicationServices: what the installer controller asks of the application
// while it loads: the theme bitmaps and the welcome banners put into the work
// folder for the wizard's pages. The controller owns the interface and the
// application, which sits above it, implements it; until the application
// hands its implementation over, the controller holds one that extracts
// nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

class InstallerController;

// A banner entry of the installer archive that the welcome page can show: the
// name without a trailing "_<number>", and that number (0 without one).
struct BannerTableEntry {
    SharedString name;
    std::int32_t number = 0;

    friend bool operator==(const BannerTableEntry&, const BannerTableEntry&) = default;
};

class ApplicationServices {
public:
    virtual ~ApplicationServices() = default;

    // Writes the archive's theme bitmaps into the work folder and makes it
    // the images folder; false when one cannot be extracted or written.
    virtual bool extractThemeBitmaps(InstallerController& controller) = 0;
    // Records the archive's welcome banners in the controller's banner table.
    virtual void collectWelcomeBanners(InstallerController& controller) = 0;
    // Records the banners of the installer data's banner elements and
    // extracts them into the work folder.
    virtual void extractBanners(InstallerController& controller) = 0;
};

// Extracts nothing; the theme bitmaps count as extracted.
std::shared_ptr<ApplicationServices> makeNoApplicationServices();

}  // namespace druvex
