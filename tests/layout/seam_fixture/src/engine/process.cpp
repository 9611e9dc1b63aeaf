// Reaches the whole controller through a header of the controller's.
#include "controller/page_window.h"
#include "controller/run_controller.h"
