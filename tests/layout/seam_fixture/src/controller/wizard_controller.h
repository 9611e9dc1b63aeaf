// What the pages ask of the controller.
#pragma once

#include "controller/run_controller.h"
