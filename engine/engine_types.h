#pragma once

#include <QMetaType>

// Small value types shared by the player, its threads and the renderers.

// Where the current media of a player stands. The order of changes on load is
// LoadingMedia, then LoadedMedia or InvalidMedia; BufferedMedia while playing;
// EndOfMedia when every stream has played out; NoMedia after a user stop or
// once the file is cleared.
enum MediaStatus {
    UnknownMediaStatus,
    NoMedia,
    LoadingMedia,
    LoadedMedia,
    StalledMedia,
    BufferingMedia,
    BufferedMedia,
    EndOfMedia,
    InvalidMedia,
};

// How a seek chooses the frame it lands on. AccurateSeek and AnyFrameSeek both
// decode from the key frame before the target and show the first frame at or
// after it (a picture decoded from a non-key frame without its references is
// never shown); KeyFrameSeek shows the key frame at or before the target.
enum SeekType {
    AccurateSeek,
    KeyFrameSeek,
    AnyFrameSeek,
};

// What the outputs show once playback has stopped: MediaEndAction_Default blanks
// them, MediaEndAction_KeepDisplay leaves the last picture on screen.
enum MediaEndAction {
    MediaEndAction_Default = 0,
    MediaEndAction_KeepDisplay = 1,
};

typedef int VideoRendererId;
enum : VideoRendererId {
    VideoRendererId_Null = 0,
    VideoRendererId_Widget = 1,
    VideoRendererId_OpenGLWidget = 2,
};

Q_DECLARE_METATYPE(MediaStatus)
Q_DECLARE_METATYPE(SeekType)
Q_DECLARE_METATYPE(MediaEndAction)
