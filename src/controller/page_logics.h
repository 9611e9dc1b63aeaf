// The page logics of the controller library, registered for the pages they
// serve: tethering, new version, welcome, licence, users, both destination
// pages, feature selection, redistributables, the end page and the custom
// pages. The prerequisites and installation pages register their own.
#pragma once

namespace druvex {

class PageLogicRegistry;

void registerControllerPageLogics(PageLogicRegistry& registry);

}  // namespace druvex
