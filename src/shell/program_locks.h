// The four program-wide locks, made at start-up before any other thread runs: the web filter
// lock, the connection lock, the log lock and the header filter lock, in that order. Each
// program's main thread (the desktop program, kestrelwickd, the benchmark's proxy) calls this
// once.
#pragma once

namespace kw {

void create_program_locks();

}  // namespace kw
