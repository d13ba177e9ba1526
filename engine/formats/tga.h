// Truevision Targa reader and writer.
#pragma once

namespace orbisk {


} // namespace orbisk
