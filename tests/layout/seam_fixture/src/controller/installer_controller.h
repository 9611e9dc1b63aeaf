// The whole controller.
#pragma once

#include "controller/wizard_controller.h"
