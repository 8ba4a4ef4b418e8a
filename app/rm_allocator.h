#pragma once

// How the C library's allocator serves this process. Decoding gives every
// recording fresh threads (demux, video, FFmpeg's frame threads), each of
// which may take its own allocation arena. By default the allocator learns
// from every large block freed to serve later ones of that size from those
// arenas, where freed pictures stay resident: the viewer grows with every
// recording played. A fixed threshold keeps large blocks (pictures, packet
// buffers) in mappings of their own, given back to the system when freed.
//
// Smaller blocks (packets, events, strings) stay in the arenas. Freed ones
// that lie between blocks still in use cannot be given back by the arena
// shrinking from its end, so their pages stay resident and, as each
// recording frees them at other places, the free space held keeps growing
// while the memory in use does not. releaseFreePages() hands those pages
// back; the main window asks for it at each change of recording.
class RMAllocator {
public:
    static constexpr int kMmapThreshold = 128 * 1024;
    // Call once, before the first thread starts.
    static void configure();
    // Gives the whole free pages inside every arena back to the system, on a
    // worker thread of the global pool; returns at once. A request while one
    // runs is dropped: that one gives back what the request would.
    static void releaseFreePages();
    // How many releases have finished since start (any thread).
    static int releasesDone();
    // What the process holds resident now, in MB; -1 when it cannot be read.
    static double residentMb();
};
