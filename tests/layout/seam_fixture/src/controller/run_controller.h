// What a run asks of the controller.
#pragma once

#include "text/shared_string.h"
