#pragma once
// Command and status-pane ids: the program's own and the framework's standard ones.

// The program's own commands.
inline constexpr unsigned ID_VIEW_NEXT_IMAGE = 32771;
inline constexpr unsigned ID_VIEW_PREVIOUS_IMAGE = 32772;
inline constexpr unsigned ID_EDIT_REPLACE_IMAGE = 32773;
inline constexpr unsigned ID_EDIT_MAKE_TRANSPARENT = 32775;
inline constexpr unsigned ID_EDIT_CREATE_MAP_BITMAP = 32777;
inline constexpr unsigned ID_FILE_IMPORT_TEXTURES = 32800;

// Status bar panes.
inline constexpr unsigned ID_INDICATOR_DIMENSIONS = 101;
inline constexpr unsigned ID_INDICATOR_IMAGE_INDEX = 102;

// The framework's standard commands.
inline constexpr unsigned ID_FILE_NEW = 57600;
inline constexpr unsigned ID_FILE_OPEN = 57601;
inline constexpr unsigned ID_FILE_SAVE = 57603;
inline constexpr unsigned ID_FILE_SAVE_AS = 57604;
inline constexpr unsigned ID_FILE_PRINT_SETUP = 57606;
inline constexpr unsigned ID_FILE_PRINT = 57607;
inline constexpr unsigned ID_FILE_PRINT_DIRECT = 57608;
inline constexpr unsigned ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr unsigned ID_EDIT_COPY = 57634;
inline constexpr unsigned ID_EDIT_CUT = 57635;
inline constexpr unsigned ID_EDIT_PASTE = 57637;
inline constexpr unsigned ID_EDIT_UNDO = 57643;
inline constexpr unsigned ID_EDIT_REDO = 57644;
inline constexpr unsigned ID_APP_ABOUT = 57664;
inline constexpr unsigned ID_APP_EXIT = 57665;
inline constexpr unsigned ID_NEXT_PANE = 57680;
inline constexpr unsigned ID_PREV_PANE = 57681;
inline constexpr unsigned ID_VIEW_TOOLBAR = 59392;
inline constexpr unsigned ID_VIEW_STATUS_BAR = 59393;
