#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR as a package would (prefix /usr)
# and checks what lands there: the file list, icon sizes, that the installed
# tavrel-cli runs, and that both manual pages render without a warning.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION [TAVREL_EXE]
set -uo pipefail
build=$1 source=$2 version=$3 gui=${4-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

root=$(mktemp -d "${TMPDIR:-/tmp}/install.XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$root.log" 2>&1; then
  cat "$root.log" >&2; rm -f "$root.log"; echo "FAIL: cmake --install" >&2; exit 1
fi
rm -f "$root.log"

# The window program's part, with one icon for every size drawn in res/icons.
expected=(usr/bin/tavrel-cli usr/share/man/man1/tavrel-cli.1.gz usr/share/bash-completion/completions/tavrel-cli)
sizes=()
if [[ -n $gui ]]; then
  expected+=(usr/bin/tavrel usr/share/man/man1/tavrel.1.gz usr/share/applications/tavrel.desktop
             usr/share/mime/packages/tavrel.xml usr/share/metainfo/org.tavrel.Tavrel.metainfo.xml
             usr/share/thumbnailers/tavrel.thumbnailer)
  for icon in "$source"/res/icons/tavrel-*.png; do
    size=${icon##*tavrel-}; size=${size%.png}
    sizes+=("$size")
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tavrel.png")
  done
  ((${#sizes[@]} >= 4)) || fail "only ${#sizes[@]} icon sizes in res/icons"
fi
want=$(printf '%s\n' "${expected[@]}" | sort)
got=$(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
[[ $want == "$got" ]] || fail "installed files differ:
$(diff <(echo "$want") <(echo "$got"))"

# An icon installed under NxN must be N by N pixels (PNG header: width, height at bytes 16 and 20).
for size in "${sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/tavrel.png
  [[ -f $png ]] || continue
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [[ "$w $h" == "$size $size" ]] || fail "icon ${size}x${size} is $w x $h"
done

# The thumbnailer runs an installed program, for MIME types the package installs, with the size it is asked for.
thumbnailer=$root/usr/share/thumbnailers/tavrel.thumbnailer
if [[ -n $gui ]]; then
  [[ $(head -n1 "$thumbnailer") == "[Thumbnailer Entry]" ]] || fail "tavrel.thumbnailer has no [Thumbnailer Entry]"
  tryexec=$(sed -n 's/^TryExec=//p' "$thumbnailer")
  [[ -n $tryexec && -x $root/usr/bin/$tryexec ]] || fail "tavrel.thumbnailer's TryExec '$tryexec' is not installed"
  exec_line=$(sed -n 's/^Exec=//p' "$thumbnailer")
  [[ ${exec_line%% *} == "$tryexec" && $exec_line == *%i*%o*%s* ]] || fail "tavrel.thumbnailer's Exec is '$exec_line'"
  types=$(sed -n 's/^MimeType=//p' "$thumbnailer" | tr ';' '\n' | sed '/^$/d')
  [[ -n $types ]] || fail "tavrel.thumbnailer names no MIME type"
  for type in $types; do
    grep -q "mime-type type=\"$type\"" "$root/usr/share/mime/packages/tavrel.xml" ||
      fail "tavrel.thumbnailer names $type, which the package does not install"
  done
fi

# The installed programs run from where they were put.
out=$("$root/usr/bin/tavrel-cli" --version 2>&1) || fail "installed tavrel-cli --version failed: $out"
[[ $out == "tavrel-cli $version"$'\n'"Licensed under the MIT License." ]] || fail "installed tavrel-cli --version printed '$out'"
if [[ -n $gui ]]; then
  out=$("$root/usr/bin/tavrel" --help 2>&1) || fail "installed tavrel --help failed: $out"
  [[ $out == Usage:\ tavrel* ]] || fail "installed tavrel --help printed '$out'"
fi

# Both pages render, as lintian renders them, without a single warning. Minimal
# system images may leave groff's macro files out; then there is nothing to render with.
macros=(/usr/share/groff/*/tmac/an.tmac)
if [[ ! -e ${macros[0]} ]]; then
  echo "install: groff's man macros are not installed here; the pages were not rendered"
  pages=()
else
  pages=("$root"/usr/share/man/man1/*.1.gz)
fi
for page in "${pages[@]}"; do
  name=$(basename "$page" .1.gz)
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ $? -eq 0 && -z $warnings ]] || fail "man -l $name: ${warnings:-failed}"
  LC_ALL=C man -l "$page" 2>/dev/null | grep -q "^NAME" || fail "man -l $name shows no NAME section"
done

((failures == 0)) && echo "install: ${#expected[@]} files, all as expected"
exit $((failures > 0))
