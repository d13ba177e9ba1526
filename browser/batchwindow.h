// "Convert and Resize" for the main window's selection: ShowBatchWindow(Files, Parent). The window
// lives with the thumbnail explorer, which opens it too.
#pragma once

#include "thumbnails/batchwindow.h"
