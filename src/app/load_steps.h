// The application's steps of the controller's load: the theme bitmaps and
// the welcome banners of the installer archive, put into the work folder for
// the wizard's pages, and the banner names the welcome page shows.
#pragma once

#include <cstdint>
#include <string_view>

#include "controller/application_services.h"
#include "text/shared_string.h"

namespace druvex {

// For each screen variant ("", "_ic", "_ppc", "_ppc_wide") whose entry
// "Theme<variant>" the archive holds, writes it into the work folder as
// "bkgnd_Druvex<variant><theme>.bmp" (the theme "_cs1" to "_cs4" by the
// background theme, else nothing); then the work folder becomes the images
// folder. False at the first bitmap that cannot be extracted or written.
bool extractThemeBitmaps(InstallerController& controller);
// Records "Welcome_ppcV", "Welcome_qvga", "Welcome_pc" and "Welcome_ppcH" as
// far as the archive holds them.
void collectWelcomeBanners(InstallerController& controller);
// For each screen variant, the banner elements available on it are the
// entries "Banners/<n><variant suffix>" in order; each the archive holds is
// recorded and extracted into the work folder under the element's file name
// for that variant. A banner that cannot be extracted or written, or whose
// file name would leave the work folder, is passed over.
void extractBanners(InstallerController& controller);

// An entry name with a trailing '_' and digits: the name before them and
// their number; any other name: itself and 0.
void splitBannerNumber(std::u16string_view entry, SharedString& name, std::int32_t& number);

// The application's implementation of the controller's interface.
class InstallerAppServices final : public ApplicationServices {
public:
    bool extractThemeBitmaps(InstallerController& controller) override;
    void collectWelcomeBanners(InstallerController& controller) override;
    void extractBanners(InstallerController& controller) override;
};

}  // namespace druvex
