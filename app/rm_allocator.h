#pragma once

// How the C library's allocator serves this process. Decoding gives every
// recording fresh threads (demux, video, FFmpeg's frame threads), each of
// which may take its own allocation arena. By default the allocator learns
// from every large block freed to serve later ones of that size from those
// arenas, where freed pictures stay resident: the viewer grows with every
// recording played. A fixed threshold keeps large blocks (pictures, packet
// buffers) in mappings of their own, given back to the system when freed.
class RMAllocator {
public:
    static constexpr int kMmapThreshold = 128 * 1024;
    // Call once, before the first thread starts.
    static void configure();
};
