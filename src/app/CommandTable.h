#pragma once
// The command vocabulary of the window: every command with its menu place,
// menu text, accelerators, toolbar place, icon and prompts, in one table.
// The menu bar, the toolbar and the window's shortcuts are all built from it.
#include <span>
#include <string>

struct CommandDef {
    unsigned nID;
    // Menu: the popup's index in kMenuPopups, or -1 for a command reached only by keys.
    int nPopup;
    const char* pszMenuText;  // with '&' before the access key and "\t" before the shortcut text
    bool bSeparatorBefore;  // in its menu
    // Toolbar: group and place within the group (groups are divided by
    // separators), or -1 when the command has no button.
    int nToolbarGroup;
    int nToolbarPlace;
    // Accelerator keys in QKeySequence's portable text ("Ctrl+O"), ';' between several.
    const char* pszKeys;
    // Status-line prompt and tooltip, divided by '\n'; null when the command has none.
    const char* pszPrompt;
    // Our own picture in the resources, and the desktop theme's name for it.
    const char* pszIcon;
    const char* pszThemeIcon;
};

// Menu popups, in menu-bar order.
inline constexpr const char* kMenuPopups[] = {"&File", "&Edit", "&View", "&Help"};

// All commands, in menu order; the commands reached only by keys last.
std::span<const CommandDef> CommandTable();
const CommandDef* FindCommand(unsigned nID);

// The two parts of a command's prompt: the status-line text and the tooltip.
std::string StatusPrompt(const CommandDef& def);
std::string ToolTipText(const CommandDef& def);

// Fixed texts of the window.
inline constexpr char kAppName[] = "Tavrel";
inline constexpr char kIdleMessage[] = "Ready";
// The trailing spaces size the panes for the longer texts the view puts there.
inline constexpr char kImageIndexNone[] = "Image Index: None           ";
inline constexpr char kDimensionsNone[] = "Dimensions: None             ";
inline constexpr char kAboutCaption[] = "About Tavrel";
inline constexpr char kAboutVersion[] = "Tavrel Version 1.0";
inline constexpr char kSettingsOrganization[] = "Local AppWizard-Generated Applications";
inline constexpr char kSettingsApplication[] = "Tavrel";
