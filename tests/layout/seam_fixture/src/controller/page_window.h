// A header that takes the whole controller: the planted fault, which reaches
// every file that includes it.
#pragma once

#include "controller/installer_controller.h"
