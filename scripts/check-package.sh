#!/usr/bin/env bash
# Builds the two Debian packages and checks them without a desktop: their file lists and
# dependencies, the desktop entry, the metainfo, the MIME package, the units, the manual page,
# the completion, and that the unpacked kestrel runs and keeps its files in the user's folder.
set -euo pipefail
cd "$(dirname "$0")/.."
make package
pkg_dir=${PKG_BUILD:-build-package}
version=$(sed -n 's/^project(kestrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cli=$pkg_dir/kestrel_${version}_amd64.deb
gui=$pkg_dir/kestrel-gui_${version}_amd64.deb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
step() { echo "-- $*"; }

step "dpkg-deb -c lists the expected files"
files() { dpkg-deb -c "$1" | awk '{print $6}' | grep -v '/$' | sort; }
diff -u <(printf '%s\n' ./usr/bin/kestrel ./usr/lib/systemd/user/kestrel@.service \
  ./usr/lib/systemd/user/kestrel@.timer ./usr/share/bash-completion/completions/kestrel \
  ./usr/share/doc/kestrel/changelog.gz ./usr/share/doc/kestrel/copyright \
  ./usr/share/man/man1/kestrel.1.gz | sort) <(files "$cli") || fail "kestrel package files"
diff -u <(printf '%s\n' ./usr/bin/kestrel-gui \
  ./usr/share/applications/org.kestrel.Kestrel.desktop \
  ./usr/share/doc/kestrel-gui/changelog.gz ./usr/share/doc/kestrel-gui/copyright \
  ./usr/share/man/man1/kestrel-gui.1.gz \
  ./usr/share/icons/hicolor/scalable/apps/org.kestrel.Kestrel.svg \
  ./usr/share/kestrel/nautilus/kestrel-mark ./usr/share/kio/servicemenus/kestrel-mark.desktop \
  ./usr/share/metainfo/org.kestrel.Kestrel.metainfo.xml \
  ./usr/share/mime/packages/org.kestrel.Kestrel.xml | sort) <(files "$gui") ||
  fail "kestrel-gui package files"

step "lintian: no error in either package"
for deb in "$cli" "$gui"; do
  out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges') || true
  [ -n "$out" ] && echo "$out"
  if grep -q '^E: ' <<<"$out"; then fail "lintian errors in $(basename "$deb")"; fi
done

step "hardened: bind-now and fortified calls"
[[ $(readelf -d "$pkg_dir/kestrel") == *BIND_NOW* ]] || fail "kestrel is not linked with -z now"
[[ $(nm -D "$pkg_dir/kestrel") == *_chk@* ]] || fail "kestrel has no fortified calls"

step "Depends: no GUI library for kestrel; kestrel-gui needs kestrel"
depends_cli=$(dpkg-deb -f "$cli" Depends)
depends_gui=$(dpkg-deb -f "$gui" Depends)
echo "kestrel: $depends_cli"
echo "kestrel-gui: $depends_gui"
[[ $depends_cli == *libc6* && $depends_cli != *qt* ]] || fail "kestrel Depends"
[[ $depends_gui == "kestrel (= $version)"*libqt6widgets6* ]] || fail "kestrel-gui Depends"
[ "$(dpkg-deb -f "$cli" Recommends)" = "bash-completion" ] || fail "kestrel Recommends"

root=$work/root
dpkg -x "$cli" "$root"
dpkg -x "$gui" "$root"

step "kestrel --version runs from the unpacked package"
[ "$("$root/usr/bin/kestrel" --version)" = "kestrel $version" ] || fail "kestrel --version"
folder=$(env -u KESTREL_HOME -u XDG_DATA_HOME HOME="$work/home" "$root/usr/bin/kestrel" --help |
  sed -n 's/^Program folder: //p')
[ "$folder" = "$work/home/.local/share/kestrel" ] ||
  fail "installed program folder is $folder, not the user's"

step "GNOME Files scripts: installed for the user, \"1 week\" marks a file"
scripts="$work/home/.local/share/nautilus/scripts/Mark for removal"
env -u XDG_DATA_HOME HOME="$work/home" "$root/usr/bin/kestrel" --install-file-manager-actions
[ "$(LC_ALL=C ls "$scripts" | tr '\n' '|')" = "1 month|1 week|1 year|3 months|Choose date...|" ] ||
  fail "scripts: $(ls "$scripts")"
mkdir -p "$work/files" && echo x >"$work/files/a.txt" && touch -d "-1 day" "$work/files/a.txt"
(cd "$work/files" && env -u KESTREL_HOME -u XDG_DATA_HOME HOME="$work/home" \
  PATH="$root/usr/bin:$PATH" "$scripts/1 week" a.txt) || fail "the 1 week script"
[ -f "$work/files/a del-$(date -d '+7 days' +%m-%d-%Y).txt" ] || fail "marked: $(ls "$work/files")"

step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/org.kestrel.Kestrel.desktop"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.kestrel.Kestrel.metainfo.xml"

step "update-mime-database reads the MIME package; *.ksp is a Kestrel configuration"
mkdir -p "$work/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$work/mime/packages/" 2>/dev/null || true
cp "$root/usr/share/mime/packages/org.kestrel.Kestrel.xml" "$work/mime/packages/"
out=$(update-mime-database "$work/mime" 2>&1) || fail "update-mime-database: $out"
grep -q '^60:application/x-kestrel-config:\*\.ksp$' "$work/mime/globs2" || fail "MIME glob"

step "systemd-analyze verify (the units as an instance, ExecStart in the unpacked root)"
units=$work/units
mkdir -p "$units"
sed "s#/usr/bin/kestrel#$root/usr/bin/kestrel#" "$root/usr/lib/systemd/user/kestrel@.service" \
  >"$units/kestrel@weekly.ksp.service"
cp "$root/usr/lib/systemd/user/kestrel@.timer" "$units/kestrel@weekly.ksp.timer"
out=$(cd "$units" && systemd-analyze verify --man=no ./kestrel@weekly.ksp.timer \
  ./kestrel@weekly.ksp.service 2>&1) || fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify: $out"

step "man --warnings -l prints no warning"
for page in kestrel kestrel-gui; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
    "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man warnings in $page.1: $out"
done
for option in $("$root/usr/bin/kestrel" --help | sed -n 's/^  --\([a-z-]*\).*/\1/p'); do
  zgrep -q -- "^\.B.* \\\\-\\\\-${option//-/\\\\-}\b" "$root/usr/share/man/man1/kestrel.1.gz" ||
    fail "the manual page lacks --$option"
done

step "bash completion offers the long options"
out=$(PATH="$root/usr/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(kestrel --sch); COMP_CWORD=1
  _kestrel; echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/kestrel")
[ "$out" = "--schedule --schedules" ] || fail "completion of --sch: $out"

echo "check-package: all checks passed"
