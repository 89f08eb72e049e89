#!/bin/sh
# Opens the window on the sample model file. Without a display, says so and
# shows what the program sees instead: the sample's listing and a picture of
# the window drawn offscreen.
BUILD_DIR=${1:-build}
SAMPLE=$BUILD_DIR/sample/sample.nif
WINDOW=$BUILD_DIR/src/app/tavrel

if [ ! -x "$WINDOW" ]; then
    echo "The window program was not built (Qt 6 missing?); the command-line tool:"
    exec "$BUILD_DIR/tavrel-cli" --help
fi
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ] || [ -n "$QT_QPA_PLATFORM" ]; then
    exec "$WINDOW" "$SAMPLE"
fi

echo "No display was found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot be shown."
echo "Run 'make run' from a desktop session, or over 'ssh -X'. What the program sees instead:"
echo
"$BUILD_DIR/tavrel-cli" list "$SAMPLE"
PICTURE=$(cd "$BUILD_DIR" && pwd)/window.png
if "$WINDOW" -platform offscreen --render-to "$PICTURE" "$SAMPLE"; then
    echo
    echo "The window with the sample open, drawn offscreen: $PICTURE"
fi
