// The tests' hooks into the engine's reader and writer lists (defined in engine/registry.cpp;
// the program itself never changes the lists after start).
#pragma once

namespace orbisk {

// Removes every writer (tests of the empty-list error).
void ClearWritersForTest();
// Restores the engine's own lists (after a test added or removed readers or writers).
void ResetFormatLists();

} // namespace orbisk
