#pragma once
// The program's icons: our own pictures from the resources, or the desktop
// theme's where it has one for the command.
#include <QIcon>

struct CommandDef;

// Null icon for a command without a picture.
QIcon CommandIcon(const CommandDef& def);
QIcon ApplicationIcon();
