#include "app/CommandTable.h"

#include <cstring>

#include "app/ViewerCommandIds.h"
#include "doc/CommandIds.h"

namespace {

constexpr int kNone = -1;
enum Popup { kFile = 0, kEdit = 1, kView = 2, kHelp = 3 };

// clang-format off
constexpr CommandDef kCommands[] = {
    // id                         popup  menu text                   sep    toolbar     keys                       prompt, icon, theme icon
    {ID_FILE_OPEN,                kFile, "&Open...\tCtrl+O",         false, 0, 1,       "Ctrl+O",
     "Open an existing .bmz, .nif, .bmp or .png image file\nOpen", "open", "document-open"},
    {ID_FILE_OPEN_FOLDER,         kFile, "Open Fol&der...",          false, kNone, 0,   nullptr,
     "List the model files and compressed bitmaps below a folder\nOpen Folder", nullptr, "folder-open"},
    {ID_FILE_SAVE_AS,             kFile, "Save &As...",              false, 0, 2,       nullptr,
     "Save the active image to a bitmap or portable network graphics file\nSave As", "save-as", "document-save-as"},
    {ID_FILE_EXPORT_ALL,          kFile, "&Export All Textures...",  false, kNone, 0,   nullptr,
     "Save every image of the open file into a folder\nExport All", nullptr, nullptr},
    {ID_FILE_IMPORT_TEXTURES,     kFile, "&Import Textures...",      true,  kNone, 0,   nullptr,
     "Put a folder of edited textures back into the open model file\nImport Textures", nullptr, nullptr},
    {ID_FILE_EXPORT_FOLDER,       kFile, "Export Folder...",         false, kNone, 0,   nullptr,
     "Save every texture of every file below a folder into a copy of its tree\nExport Folder", nullptr, nullptr},
    {ID_FILE_IMPORT_FOLDER,       kFile, "Import Folder...",         false, kNone, 0,   nullptr,
     "Put a tree of edited textures back into the model files below a folder\nImport Folder", nullptr, nullptr},
    {ID_FILE_PRINT,               kFile, "&Print...\tCtrl+P",        true,  1, 1,       "Ctrl+P",
     "Print the active image\nPrint", "print", "document-print"},
    {ID_FILE_PRINT_PREVIEW,       kFile, "Print Pre&view",           false, kNone, 0,   nullptr,
     "Display full pages\nPrint Preview", nullptr, "document-print-preview"},
    {ID_FILE_PRINT_SETUP,         kFile, "P&rint Setup...",          false, kNone, 0,   nullptr,
     "Change the printer and printing options\nPrint Setup", nullptr, nullptr},
    {ID_APP_EXIT,                 kFile, "E&xit\tCtrl+Q",            true,  kNone, 0,   "Ctrl+Q",
     "Quit the application\nExit", nullptr, "application-exit"},
    {ID_EDIT_UNDO,                kEdit, "&Undo\tCtrl+Z",            false, kNone, 0,   "Ctrl+Z;Alt+Backspace",
     "Undo the last edit of the file\nUndo", nullptr, "edit-undo"},
    {ID_EDIT_REDO,                kEdit, "&Redo\tCtrl+Shift+Z",      false, kNone, 0,   "Ctrl+Shift+Z;Ctrl+Y",
     "Redo the edit last undone\nRedo", nullptr, "edit-redo"},
    {ID_EDIT_COPY,                kEdit, "&Copy\tCtrl+C",            true,  kNone, 0,   "Ctrl+C;Ctrl+Ins",
     "Copy the shown image to the clipboard\nCopy", nullptr, "edit-copy"},
    {ID_EDIT_REPLACE_IMAGE,       kEdit, "Replace",                  false, 2, 3,       nullptr,
     "Replace the active image with a 24-bit bitmap or 24-bit portable network graphics file\nReplace",
     "replace", nullptr},
    {ID_EDIT_MAKE_TRANSPARENT,    kEdit, "Make Transparent",         false, 2, 4,       nullptr,
     "Makes an image fully transparent on the screen\nMake Transparent", "transparent", nullptr},
    {ID_EDIT_EXTERNALLY,          kEdit, "Edit E&xternally\tCtrl+E", false, kNone, 0,   "Ctrl+E",
     "Open the shown image in the image editor; each save goes into the file\nEdit Externally", nullptr, nullptr},
    {ID_EDIT_CREATE_MAP_BITMAP,   kEdit, "Create Map Bitmap",        false, kNone, 0,   nullptr,
     nullptr, nullptr, nullptr},
    {ID_EDIT_PREFERENCES,         kEdit, "&Preferences...",          true,  kNone, 0,   nullptr,
     "Choose the image editor for Edit Externally\nPreferences", nullptr, "preferences-system"},
    {ID_VIEW_TOOLBAR,             kView, "&Toolbar",                 false, kNone, 0,   nullptr,
     "Show or hide the toolbar\nToggle ToolBar", nullptr, nullptr},
    {ID_VIEW_STATUS_BAR,          kView, "&Status Bar",              false, kNone, 0,   nullptr,
     "Show or hide the status bar\nToggle StatusBar", nullptr, nullptr},
    {ID_VIEW_PREVIOUS_IMAGE,      kView, "Previous Image",           false, 2, 1,       "PgUp;Backspace",
     "View previous image\nPrevious", "previous", "go-previous"},
    {ID_VIEW_NEXT_IMAGE,          kView, "Next Image",               false, 2, 2,       "PgDown;Space",
     "View next image\nNext", "next", "go-next"},
    {ID_VIEW_RELOAD,              kView, "&Reload\tF5",              false, kNone, 0,   "F5",
     "Read the open file again from the disk\nReload", nullptr, "view-refresh"},
    {ID_VIEW_ZOOM_IN,             kView, "Zoom &In\tCtrl++",         true,  kNone, 0,   "Ctrl++;Ctrl+=",
     "Show the image larger\nZoom In", nullptr, "zoom-in"},
    {ID_VIEW_ZOOM_OUT,            kView, "Zoom &Out\tCtrl+-",        false, kNone, 0,   "Ctrl+-",
     "Show the image smaller\nZoom Out", nullptr, "zoom-out"},
    {ID_VIEW_ACTUAL_SIZE,         kView, "&Actual Size\tCtrl+0",     false, kNone, 0,   "Ctrl+0",
     "Show one image pixel per screen pixel\nActual Size", nullptr, "zoom-original"},
    {ID_VIEW_FIT_TO_WINDOW,       kView, "&Fit to Window",           false, kNone, 0,   nullptr,
     "Show the whole image in the window\nFit to Window", nullptr, "zoom-fit-best"},
    {ID_VIEW_FIT_ENLARGES,        kView, "&Enlarge Small Images to Fit", false, kNone, 0, nullptr,
     "Let Fit to Window show small images larger than actual size\nEnlarge Small Images", nullptr, nullptr},
    {ID_VIEW_SHOW_TRANSPARENCY,   kView, "Show Transparenc&y",       true,  kNone, 0,   nullptr,
     "Draw transparent pixels over a checkerboard\nShow Transparency", nullptr, nullptr},
    {ID_VIEW_ALPHA_CHANNEL,       kView, "Alp&ha Channel",           false, kNone, 0,   nullptr,
     "Show the alpha channel as grey\nAlpha Channel", nullptr, nullptr},
    {ID_VIEW_TEXTURE_LIST,        kView, "Te&xtures",                true,  kNone, 0,   nullptr,
     "Show or hide the list of textures\nTextures", nullptr, nullptr},
    {ID_HELP_KEYBOARD,            kHelp, "&Keyboard Shortcuts\tF1",   false, kNone, 0,   "F1",
     "List the keys of the commands\nKeyboard Shortcuts", nullptr, nullptr},
    {ID_APP_ABOUT,                kHelp, "&About Tavrel...",         false, 3, 1,       nullptr,
     "Display program information, version number and copyright\nAbout", "about", "help-about"},

    // Reached only by keys. No part of the program handles Save, Cut, Paste
    // or the pane keys, so those keys do nothing.
    {ID_VIEW_FIRST_IMAGE,         kNone, nullptr,                    false, kNone, 0,   "Home",
     "View the first image\nFirst", nullptr, nullptr},
    {ID_VIEW_LAST_IMAGE,          kNone, nullptr,                    false, kNone, 0,   "End",
     "View the last image\nLast", nullptr, nullptr},
    {ID_FILE_NEW,                 kNone, nullptr,                    false, kNone, 0,   "Ctrl+N",
     "Create a new document\nNew", nullptr, nullptr},
    {ID_FILE_SAVE,                kNone, nullptr,                    false, kNone, 0,   "Ctrl+S",
     "Save the active document\nSave", nullptr, nullptr},
    {ID_EDIT_CUT,                 kNone, nullptr,                    false, kNone, 0,   "Ctrl+X;Shift+Del",
     nullptr, nullptr, nullptr},
    {ID_EDIT_PASTE,               kNone, nullptr,                    false, kNone, 0,   "Ctrl+V;Shift+Ins",
     nullptr, nullptr, nullptr},
    {ID_NEXT_PANE,                kNone, nullptr,                    false, kNone, 0,   "F6",
     nullptr, nullptr, nullptr},
    {ID_PREV_PANE,                kNone, nullptr,                    false, kNone, 0,   "Shift+F6",
     nullptr, nullptr, nullptr},
};
// clang-format on

}  // namespace

std::span<const CommandDef> CommandTable()
{
    return kCommands;
}

const CommandDef* FindCommand(unsigned nID)
{
    for (const CommandDef& def : kCommands) {
        if (def.nID == nID)
            return &def;
    }
    return nullptr;
}

std::string StatusPrompt(const CommandDef& def)
{
    if (!def.pszPrompt)
        return {};
    const char* newline = std::strchr(def.pszPrompt, '\n');
    return newline ? std::string(def.pszPrompt, newline) : std::string(def.pszPrompt);
}

std::string ToolTipText(const CommandDef& def)
{
    if (!def.pszPrompt)
        return {};
    const char* newline = std::strchr(def.pszPrompt, '\n');
    return newline ? std::string(newline + 1) : std::string();
}
