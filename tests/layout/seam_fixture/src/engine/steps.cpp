// Sees the run's interface only.
#include "controller/run_controller.h"
#include "engine/process.h"
