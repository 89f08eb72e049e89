#pragma once
// Ids of the window's own viewing commands and panes, beside the document's
// in doc/CommandIds.h.

inline constexpr unsigned ID_VIEW_FIRST_IMAGE = 33001;
inline constexpr unsigned ID_VIEW_LAST_IMAGE = 33002;
inline constexpr unsigned ID_VIEW_ZOOM_IN = 33003;
inline constexpr unsigned ID_VIEW_ZOOM_OUT = 33004;
inline constexpr unsigned ID_VIEW_ACTUAL_SIZE = 33005;
inline constexpr unsigned ID_VIEW_FIT_TO_WINDOW = 33006;
inline constexpr unsigned ID_VIEW_SHOW_TRANSPARENCY = 33007;
inline constexpr unsigned ID_VIEW_ALPHA_CHANNEL = 33008;
inline constexpr unsigned ID_VIEW_TEXTURE_LIST = 33009;
inline constexpr unsigned ID_FILE_EXPORT_ALL = 33010;
inline constexpr unsigned ID_VIEW_RELOAD = 33011;
inline constexpr unsigned ID_VIEW_FIT_ENLARGES = 33012;
inline constexpr unsigned ID_HELP_KEYBOARD = 33013;
inline constexpr unsigned ID_EDIT_EXTERNALLY = 33014;
inline constexpr unsigned ID_EDIT_PREFERENCES = 33015;
inline constexpr unsigned ID_FILE_OPEN_FOLDER = 33030;
inline constexpr unsigned ID_FILE_EXPORT_FOLDER = 33031;
inline constexpr unsigned ID_FILE_IMPORT_FOLDER = 33032;

// The pane with the pixel under the pointer.
inline constexpr unsigned ID_INDICATOR_PIXEL = 103;
// The pane with the zoom factor.
inline constexpr unsigned ID_INDICATOR_ZOOM = 104;
