#!/usr/bin/env bash
# Finds calls of Debian's Wine wrapper programs in the files that run on the
# build host (shell scripts, CMake files, CI): `wine`, `winepath`, `regsvr32`
# and the rest pick the 32-bit loader whenever wine32:i386 is installed, and
# on a kernel that runs 64-bit code only they fail with "Exec format error".
# Such a program runs through halyard_wine (scripts/arch.sh) or the tree's
# cmake/wine-run.sh instead. Prints FILE:LINE: TEXT for each call found and
# exits 1 when there is one.
# Usage: wrapper_calls.sh ROOT            every such file of the tree at ROOT
#        wrapper_calls.sh --files FILE... just these files, whatever their kind
set -uo pipefail

wrappers='wine|wine64|wine-stable|winepath|wineboot|regsvr32|reg|regedit|msiexec|wineconsole'

files_of_tree() {
  local root=$1
  if git -C "$root" rev-parse --show-toplevel >/dev/null 2>&1; then
    git -C "$root" ls-files --cached --others --exclude-standard -- \
      '*.sh' '*.cmake' 'CMakeLists.txt' '*/CMakeLists.txt' '.ci/*' | sed "s|^|$root/|"
  else
    find "$root" \( -path "$root/build" -o -path "$root/.git" \) -prune -o -type f \
      \( -name '*.sh' -o -name '*.cmake' -o -name CMakeLists.txt -o -path "$root/.ci/*" \) -print
  fi
}

# Text that is never a command goes first (comments, quoted words without a
# substitution in them); then a wrapper's name where a command starts: at
# the line's start, after ; & | ( ! { or `, after a keyword or a prefix that
# runs the next word (then, do, exec, timeout 60, env, sudo, COMMAND ...),
# or after variable assignments (X=1 wine ...).
scan() {
  awk -v wrappers="$wrappers" -v q="'" '
    BEGIN {
      lead = "(^|[;&|(!{`]|(^|[^A-Za-z0-9_$.-])(then|do|else|elif|if|while|until|exec|command|time|nice|xargs|env|sudo|[$][{]?SUDO[}]?|COMMAND)[ \t]|timeout([ \t]+-[^ \t]+)*[ \t]+[0-9.]+[smhd]?[ \t]|[A-Za-z_][A-Za-z0-9_]*=[^ \t;&|(]*[ \t])"
      call = lead "[ \t]*(" wrappers ")([ \t]|$|[;&|])"
    }
    FNR == 1 { inlist = 0; continued = 0 }
    {
      line = $0
      sub(/\r$/, "", line)
      if (line ~ /^[ \t]*#/) next
      gsub(q "[^" q "]*" q, q q, line)
      gsub(/"[^"$`]*"/, "\"\"", line)
      sub(/[ \t]#.*$/, "", line)
      # The words of an array assignment (a package list) are no commands.
      if (inlist) { if (line ~ /\)/) inlist = 0; next }
      if (line ~ /=\([^)]*$/) inlist = 1
      # Neither is the first word of a line that goes on from the one above,
      # unless that one ended with an operator.
      if (continued) line = "arguments " line
      continued = (line ~ /\\$/ && line !~ /(&&|\|\||[;|&(])[ \t]*\\$/)
      if (line ~ call) { print FILENAME ":" FNR ": " $0; found = 1 }
    }
    END { exit found ? 1 : 0 }
  ' "$@"
}

if [ "${1:-}" = "--files" ]; then
  shift
  scan "$@"
  exit
fi
root=${1:?usage: wrapper_calls.sh ROOT | --files FILE...}
mapfile -t files < <(files_of_tree "$root")
[ ${#files[@]} -gt 0 ] || { echo "wrapper_calls: no scripts found under $root" >&2; exit 2; }
scan "${files[@]}"
