#!/bin/sh
# Usage: answers.sh KESTREL KESTREL_GUI. Each check prints its name; any failure exits 1.
kestrel=$1
gui=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KESTREL_HOME="$work/home" XDG_DATA_HOME="$work/data" HOME="$work"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$KESTREL_HOME"
failed=0

# expect NAME STATUS STDOUT-PATTERN STDERR-PATTERN -- COMMAND...: grep patterns, "" for empty.
expect() {
  name=$1 status=$2 out=$3 err=$4
  shift 5
  "$@" >"$work/out" 2>"$work/err" </dev/null
  got=$?
  ok=1
  [ "$got" = "$status" ] || ok=0
  if [ -z "$out" ]; then [ ! -s "$work/out" ] || ok=0; else grep -q -- "$out" "$work/out" || ok=0; fi
  if [ -z "$err" ]; then [ ! -s "$work/err" ] || ok=0; else grep -q -- "$err" "$work/err" || ok=0; fi
  if [ $ok = 1 ]; then echo "PASS: $name"; else
    echo "FAIL: $name (exit $got)"; cat "$work/out" "$work/err"; failed=1
  fi
}

: >"$work/empty.ksp"
: >"$work/target del-01-01-2030.txt"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$work/passwd"
printf '[Options]\nPrefixToken=del-\0\n' >"$work/nul.ksp"
expect "kestrel-gui --help prints the options" 0 "^  --forecast DAYS" "" -- "$gui" --help
expect "kestrel-gui --version prints the version" 0 "^kestrel [0-9]" "" -- "$gui" --version
for file in "$work/empty.ksp" "$work/passwd" "$work/nul.ksp"; do
  for args in "--forecast 5" "--preview" "--schedule" "--keep-journals 5" "--purge"; do
    # shellcheck disable=SC2086
    expect "$args $(basename "$file") is refused" 2 "" "is not a Kestrel configuration" -- \
      "$kestrel" $args "$file"
  done
  expect "-s: $(basename "$file") is refused" 2 "" "is not a Kestrel configuration" -- \
    "$kestrel" "-s:$file"
  for mark in "--mark 30d" "--unmark"; do
    # shellcheck disable=SC2086
    expect "$mark --config $(basename "$file") is refused" 2 "" "is not a Kestrel configuration" \
      -- "$kestrel" $mark "$work/target del-01-01-2030.txt" --config "$file"
  done
done
[ -e "$work/target del-01-01-2030.txt" ] || { echo "FAIL: a refused mark renamed"; failed=1; }

for threads in abc 0; do
  expect "KESTREL_THREADS=$threads is refused" 2 "" \
    "^kestrel: KESTREL_THREADS must be a positive whole number" -- \
    env KESTREL_THREADS=$threads "$kestrel" --runs
done
expect "--runs takes no operand" 2 "" "^kestrel: extra operand 'extra'" -- "$kestrel" --runs extra
expect "--purge takes one configuration" 2 "" "^kestrel: extra operand 'extra'" -- \
  "$kestrel" --purge "$work/empty.ksp" extra
expect "--install-file-manager-actions takes no operand" 2 "" \
  "^Try 'kestrel --help' for more information.$" -- \
  "$kestrel" --install-file-manager-actions extra

menu="$XDG_DATA_HOME/nautilus/scripts/Mark for removal"
expect "install the file manager actions" 0 "Scripts menu" "" -- \
  "$kestrel" --install-file-manager-actions
[ -x "$menu/1 week" ] || { echo "FAIL: no script installed"; failed=1; }
expect "uninstall them" 0 "removed" "" -- "$kestrel" --uninstall-file-manager-actions
[ ! -e "$menu" ] || { echo "FAIL: $menu left behind"; failed=1; }

# A kestrel package without kestrel-gui: no scripts beside it.
if [ -e /usr/local/share/kestrel ] || [ -e /usr/share/kestrel/nautilus ]; then
  echo "SKIP: an installed Kestrel's data is on this system"
else
  mkdir -p "$work/pkg/bin"
  cp "$kestrel" "$work/pkg/bin/kestrel"
  XDG_DATA_HOME="$work/data2"
  expect "without kestrel-gui the actions are not installed" 1 "" "come with the kestrel-gui" -- \
    "$work/pkg/bin/kestrel" --install-file-manager-actions
  [ ! -e "$XDG_DATA_HOME" ] || { echo "FAIL: a folder was left behind"; failed=1; }
fi
exit $failed
