// orbisk-cli exif: lists the EXIF entries of picture files.
#pragma once

#include <string>
#include <vector>

namespace orbisk {

// Args are the words after "exif":
//   exif FILE...           "name<TAB>value" for each entry; with several files each block
//                          starts with a "FILE:" line and blocks are separated by a blank line
//   exif --detail FILE...  "chain<TAB>directory<TAB>tag<TAB>type<TAB>count<TAB>name<TAB>value"
//   exif --date FILE...    the date shown for the picture ("FILE<TAB>date" with several files)
// Control characters in values are written escaped (\t, \n, \r, \xHH) so that every entry
// stays on one line. Errors go to stderr; the exit status is 1 when any file failed, 2 on
// wrong usage.
int RunExifCommand(const std::vector<std::string>& Args);

} // namespace orbisk
