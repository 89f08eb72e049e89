#include "cli/Usage.h"

#ifndef TAVREL_VERSION
#define TAVREL_VERSION "1.0.0"
#endif

const char kUsageText[] =
    "Usage:\n"
    "  tavrel-cli list FILE [--json]\n"
    "  tavrel-cli extract FILE OUT [--index N]\n"
    "  tavrel-cli extract FILE --all DIR [--format bmp|png|tga] [--jobs N]\n"
    "  tavrel-cli convert IN OUT\n"
    "  tavrel-cli map FILE OUT [--cells C0,C1,...,C15]\n"
    "  tavrel-cli import FILE DIR [--backup] [--yes] [--dry-run]\n"
    "  tavrel-cli replace FILE IMAGE [--index N] [--backup] [--yes]\n"
    "  tavrel-cli alpha FILE LEVEL [--index N] [--backup]\n"
    "  tavrel-cli --help | --version\n";

const char kHelpText[] =
    "tavrel-cli: list, extract, convert and replace the texture images of game data files.\n"
    "\n"
    "Usage:\n"
    "  tavrel-cli list FILE [--json]\n"
    "      One line per image: index, texture offset, width, height, bits per pixel.\n"
    "  tavrel-cli extract FILE OUT [--index N]\n"
    "      Writes image N (default 0) to OUT; OUT's extension (.bmp, .png or .tga)\n"
    "      chooses the format.\n"
    "  tavrel-cli extract FILE --all DIR [--format bmp|png|tga] [--jobs N]\n"
    "      Writes every image to DIR as <name>-<index>.<ext> (PNG by default),\n"
    "      N at a time (default: one per processor). The files are the same\n"
    "      whatever N is.\n"
    "  tavrel-cli convert IN OUT\n"
    "      The same as extract IN OUT --index 0.\n"
    "  tavrel-cli map FILE OUT [--cells C0,C1,...,C15]\n"
    "      Composes a 1024 x 1024 map of 4 x 4 cells from the first 16 images of\n"
    "      256 x 256 in the model file FILE and writes it to OUT (.bmp, .png or\n"
    "      .tga). Cell 0 is the top-left one, cell 15 the bottom-right one. Cn picks\n"
    "      the image of cell n among those 16 (0 is the first); by default cell n\n"
    "      shows image n.\n"
    "  tavrel-cli import FILE DIR [--backup] [--yes] [--dry-run]\n"
    "      Puts the edited textures of DIR, named as extract --all names them, back\n"
    "      into the model file FILE in one pass; files equal to their texture are\n"
    "      left out. If any file is refused nothing is written. --backup copies FILE\n"
    "      to FILE.bak first; --yes accepts a change of bit depth; --dry-run only\n"
    "      reports. One line per file of DIR: index, name, and replaced, unchanged,\n"
    "      ignored or refused with the reason.\n"
    "  tavrel-cli replace FILE IMAGE [--index N] [--backup] [--yes]\n"
    "      Puts IMAGE (.bmp, .png or .tga, 24 or 32 bits) into texture N (default 0)\n"
    "      of a model file, or in place of the image of a compressed bitmap, writing\n"
    "      FILE in place. --backup first copies FILE to FILE.bak; --yes goes on when\n"
    "      IMAGE's bit depth differs from the texture's (otherwise that fails).\n"
    "  tavrel-cli alpha FILE LEVEL [--index N] [--backup]\n"
    "      Sets the alpha of every pixel of RGBA texture N of a model file to LEVEL\n"
    "      (0 fully transparent to 255 opaque), in place.\n"
    "  tavrel-cli --help | --version\n"
    "\n"
    "FILE and IN are model files (.nif), compressed bitmaps (.bmz), PNG or BMP files,\n"
    "told apart by their extension in any case. A model file that only links to\n"
    "another one is read from the linked file. Put -- before file names that\n"
    "start with '-'.\n"
    "\n"
    "Exit status: 0 on success; 1 when the work failed (the reason is on standard\n"
    "error); 2 when the command line was not understood.\n";

const char* VersionText()
{
    return "tavrel-cli " TAVREL_VERSION "\n";
}
