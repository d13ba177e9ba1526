#include "metadata/exif.h"
