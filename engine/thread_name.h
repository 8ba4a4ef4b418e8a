#pragma once

// Names the calling thread (at most 15 characters), so that tools and
// benchmarks can tell the engine's threads apart in /proc/self/task. Threads
// started from a named thread (FFmpeg's decoding threads, started by the
// demux thread when it opens the decoders) inherit its name.
void nameThisThread(const char* name);
