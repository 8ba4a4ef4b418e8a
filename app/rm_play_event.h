#pragma once

// Playback state changes announced by the player controller.
enum PLAY_EVENT {
    PE_LOADING = 1,
    PE_STARTED = 2,
    PE_PLAYING = 3,
    PE_PAUSED = 4,
    PE_STOPPED = 5,
    PE_SWAPPED = 8,
    PE_UNSWAPPED = 9,
    PE_USER_STOP = 10,
    PE_NOT_LOADED = 11,
    PE_MUTED = 12,
    PE_UNMUTED = 13,
    PE_FIRST_FRAME = 14,
};
