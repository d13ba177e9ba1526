// The engine's worker pool: operations split their rows into bands that run on every processor
// this process may use, while the calling thread raises progress in row order and takes part in
// the work itself (so a call never waits for a pool busy with other callers, and a band that
// starts another parallel operation runs it in place).
#pragma once

#include <functional>

namespace orbisk {

// Threads an operation may use: the processors in this process's CPU affinity set (at least 1),
// or the number set by SetEngineThreadCount.
int EngineThreadCount();
// 1 runs every operation in one band on the calling thread (the reference for tests); 0 returns
// to the processor count.
void SetEngineThreadCount(int N);

// Calls Body(Begin, End) for consecutive bands of [0, Count) (at least MinBand rows a band, the
// last one maybe shorter) on the pool and the calling thread. With one thread, or fewer than
// 2 x MinBand rows, the bands run in place in order: one band of all rows without Progress, one
// row a band with it (so an abort stops exactly after the row it was asked at). Body must give the
// same result for a row whatever band it comes in: rows must not depend on rows written by other
// bands.
//
// Progress, when given, is called on the calling thread once for every row 0, 1, ..., Count - 1
// in order, after that row and all rows before it are done; returning true asks to abort: no band
// starts after that, bands running finish, and the call returns false (rows after the aborted one
// may or may not have been done). Returns true when every row was done. The first exception a
// band raises stops the other bands from starting and is raised again here.
bool ParallelBands(int Count, const std::function<void(int Begin, int End)>& Body,
                   const std::function<bool(int Row)>& Progress = {}, int MinBand = 8);

} // namespace orbisk
