// EXIF reader (no Qt).
#pragma once
