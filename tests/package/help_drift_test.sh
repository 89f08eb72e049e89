#!/usr/bin/env bash
# The manual pages and the bash completion offer exactly the verbs and options
# that the programs' --help shows, read from --help itself: a verb or option
# added to --help fails here until both know it.
# Usage: help_drift_test.sh SOURCE_DIR TAVREL_CLI [TAVREL_EXE]
set -uo pipefail
source_dir=$1 cli=$2 gui=${3-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# Compares two lists of words, one a line.
same() {   # what, expected, found
  [[ $2 == "$3" ]] || fail "$1: expected [$(echo $2)], found [$(echo $3)]"
}

# Words that start with one or two dashes and a letter, standing on their own.
options_in() {
  grep -oE -- '(^|[^[:alnum:]_-])--?[[:alpha:]][[:alnum:]-]*' | sed -E 's/^[^-]*//' | sort -u
}
# A manual page as plain ASCII text, wide enough that no synopsis line wraps.
render() { LC_ALL=C MANWIDTH=250 man -l "$1" 2>/dev/null; }
section() { awk -v name="$1" '$0 == name { on = 1; next } /^[A-Z]/ { on = 0 } on'; }
synopsis() { section SYNOPSIS; }
# The usage lines of one verb ("" for the lines without a verb); read from standard input.
usage_of() {
  if [[ -z $1 ]]; then grep -E '^ *tavrel-cli -'; else grep -E "^ *tavrel-cli $1( |\$)"; fi
}
verbs_in() { grep -oE '^ *tavrel-cli [a-z][a-z-]*' | awk '{ print $2 }' | sort -u; }

help=$("$cli" --help) || { echo "FAIL: tavrel-cli --help" >&2; exit 1; }
verbs=$(verbs_in <<<"$help")
[[ -n $verbs ]] || { echo "FAIL: no verbs found in tavrel-cli --help" >&2; exit 1; }

# tavrel-cli(1): the verbs of its synopsis, each verb's options there, and
# every option the page names anywhere.
page=$(render "$source_dir/res/man/tavrel-cli.1")
page_synopsis=$(synopsis <<<"$page")
same "tavrel-cli(1) verbs" "$verbs" "$(verbs_in <<<"$page_synopsis")"
for verb in "" $verbs; do
  same "tavrel-cli(1) options of '${verb:-tavrel-cli}'" "$(usage_of "$verb" <<<"$help" | options_in)" \
       "$(usage_of "$verb" <<<"$page_synopsis" | options_in)"
done
same "tavrel-cli(1) options" "$(options_in <<<"$help")" "$(options_in <<<"$page")"

# tavrel(1) names the options of tavrel --help in its SYNOPSIS and OPTIONS
# (elsewhere it may quote those of tavrel-cli).
if [[ -n $gui ]]; then
  gui_help=$("$gui" --help) || fail "tavrel --help"
  gui_page=$(render "$source_dir/res/man/tavrel.1")
  same "tavrel(1) options" "$(options_in <<<"$gui_help")" \
       "$({ section SYNOPSIS <<<"$gui_page"; section OPTIONS <<<"$gui_page"; } | options_in)"
fi

# The completion, run as bash runs it on Tab, in a folder of files of every kind.
completion=/usr/share/bash-completion/bash_completion
[[ -r $completion ]] || { echo "FAIL: $completion is missing (package bash-completion)" >&2; exit 1; }
# shellcheck source=/dev/null
source "$completion"
# shellcheck source=../../res/completion/tavrel-cli.bash
source "$source_dir/res/completion/tavrel-cli.bash"
complete_line() {   # the words of a command line; the last one is completed
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _tavrel_cli tavrel-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

same "completion verbs" "$verbs" "$(complete_line tavrel-cli '' | grep -v '^-')"
same "completion options of tavrel-cli" "$(usage_of "" <<<"$help" | options_in)" "$(complete_line tavrel-cli -)"
for verb in $verbs; do
  same "completion options of '$verb'" "$(usage_of "$verb" <<<"$help" | options_in)" \
       "$(complete_line tavrel-cli "$verb" -)"
done
formats=$(grep -oE -- '--format [a-z|]+' <<<"$help" | head -1 | cut -d' ' -f2 | tr '|' '\n' | sort)
same "completion of --format" "$formats" "$(complete_line tavrel-cli extract a.nif --all out --format '')"

# Files are offered by the kinds each place takes, in any case; folders always.
folder=$(mktemp -d "${TMPDIR:-/tmp}/completion.XXXXXX") || exit 1
trap 'rm -rf "$folder"' EXIT
cd "$folder" && mkdir textures && touch a.nif B.BMZ c.Png d.bmp e.tga f.txt g.Nif.bak
while IFS='|' read -r what want words; do
  read -ra line <<<"$words"
  same "completion of $what" "$(tr ' ' '\n' <<<"$want")" "$(complete_line "${line[@]}" '')"
done <<'TABLE'
the file to read|B.BMZ a.nif c.Png d.bmp e.tga textures|tavrel-cli list
the file to write|c.Png d.bmp e.tga textures|tavrel-cli extract a.nif
the folder of --all|textures|tavrel-cli extract a.nif --all
a file after -- |B.BMZ a.nif c.Png d.bmp e.tga textures|tavrel-cli convert --
TABLE

((failures == 0)) && echo "man pages and completion agree with --help: $(echo $verbs)"
exit $((failures > 0))
