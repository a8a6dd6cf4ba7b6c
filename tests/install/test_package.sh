#!/usr/bin/env bash
# Builds the Debian package from the build tree with cpack (in a temporary directory, so the
# build tree gets no package files) and checks it as Debian would:
#  - lintian reports no error and no warning;
#  - control fields, file ownership and permissions, stripped binaries;
#  - the manual pages render without warnings and kivrel-sim's describes every option its
#    --help lists and no other; kivrel's describes every option its --help lists;
#  - copyright, changelog (gzip -9n, newest entry the project's version), and the AppStream
#    metainfo (valid, newest release the project's version, launchable installed);
#  - the systemd unit kivrel-publish@.service names a program and a manual page the package
#    installs (test_unit checks the unit itself), and its example settings are there.
# lintian and appstreamcli come from scripts/deps; where one is missing its check is left out
# and the test reports itself skipped (exit 77) once everything else has passed.
# Usage: test_package.sh BUILD_DIR VERSION CPACK
set -euo pipefail
build=$1
version=$2
cpack=$3

fail() {
  echo "FAIL: $*"
  exit 1
}
skipped=()

for f in kivrel.1.gz kivrel-sim.1.gz kivrel-cli.1.gz changelog.gz; do
  [ -f "$build/packaging/$f" ] ||
    fail "$build/packaging/$f is not built: build the default target (or kivrel-docs) first"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The tools and the program run in a home of this test's own: what they keep for a user
# (caches, the program's journal) stays out of the real one.
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/.local/share XDG_CONFIG_HOME=$tmp/home/.config
export XDG_CACHE_HOME=$tmp/home/.cache XDG_STATE_HOME=$tmp/home/.local/state
export XDG_RUNTIME_DIR=$tmp/runtime TMPDIR=$tmp/tmp
mkdir -p "$HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# cpack installs into its own staging directory below -B and leaves the package there.
if ! (cd "$tmp" && "$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/out") \
  >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  fail "cpack could not build the package"
fi
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb")"

# --- Control fields ---------------------------------------------------------------------
[ "$(dpkg-deb -f "$deb" Package)" = kivrel ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
name_and_address='^[^<>]*[[:alpha:]][^<>]* <[^<>@ ]+@[^<>@ ]+>$'
[[ $maintainer =~ $name_and_address ]] ||
  fail "the maintainer needs a name and an address: '$maintainer'"
[ -n "$(dpkg-deb -f "$deb" Section)" ] || fail "no section"
description=$(dpkg-deb -f "$deb" Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 4 ] ||
  fail "the extended description is missing or short: $description"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 ||
  fail "the dependencies on the Qt libraries are missing (dpkg-shlibdeps)"

# --- Files: what is there, owned by root, with Debian's permissions -----------------------
dpkg-deb -c "$deb" >"$tmp/contents"
for f in usr/bin/kivrel usr/bin/kivrel-sim usr/bin/kivrel-cli usr/share/kivrel/Kivrelv40.uir \
         usr/share/kivrel/Orbeck.bmp usr/share/applications/kivrel.desktop \
         usr/share/icons/hicolor/128x128/apps/kivrel.png \
         usr/share/metainfo/example.orbeck.kivrel.metainfo.xml \
         usr/share/man/man1/kivrel.1.gz usr/share/man/man1/kivrel-sim.1.gz \
         usr/share/man/man1/kivrel-cli.1.gz usr/share/bash-completion/completions/kivrel-cli \
         usr/share/doc/kivrel/copyright usr/share/doc/kivrel/changelog.gz \
         usr/lib/systemd/system/kivrel-publish@.service usr/share/doc/kivrel/examples/publish.conf; do
  grep -q " \./$f\$" "$tmp/contents" || fail "the package lacks /$f"
done
while read -r mode owner _ _ _ path _; do
  [ "$owner" = root/root ] || fail "$path is owned by $owner, not root/root"
  case "$mode:$path" in
    d*) [ "$mode" = drwxr-xr-x ] || fail "directory $path has mode $mode" ;;
    *:./usr/bin/*) [ "$mode" = -rwxr-xr-x ] || fail "program $path has mode $mode" ;;
    *) [ "$mode" = -rw-r--r-- ] || fail "file $path has mode $mode" ;;
  esac
done <"$tmp/contents"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
for p in kivrel kivrel-sim kivrel-cli; do
  sections=$(LC_ALL=C readelf -S -W "$root/usr/bin/$p")
  ! grep -qE '\] \.(symtab|debug_info|comment) ' <<<"$sections" ||
    fail "/usr/bin/$p is not stripped of symbols, debug information and compiler notes"
done

# --- Changelog and copyright ----------------------------------------------------------------
changelog=$root/usr/share/doc/kivrel/changelog.gz
zcat "$changelog" | gzip -9 -n | cmp -s - "$changelog" ||
  fail "changelog.gz is not compressed with gzip -9n"
newest=$(zcat "$changelog" | dpkg-parsechangelog -l- -S Version)
[ "$newest" = "$version" ] ||
  fail "the newest changelog entry is $newest, the project is $version: add an entry to packaging/changelog"
grep -q '^License: GPL-3.0-or-later$' "$root/usr/share/doc/kivrel/copyright" ||
  fail "the copyright file does not state GPL-3.0-or-later"

# --- Manual pages ---------------------------------------------------------------------------
# long_options FILE: the --options a text or a manual page source names, one a line, sorted
# (roff's \- read as -, comment lines left out).
long_options() { grep -v '^\.\\"' "$1" | sed 's/\\-/-/g' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }

for p in kivrel kivrel-sim kivrel-cli; do
  page=$root/usr/share/man/man1/$p.1.gz
  zcat "$page" | gzip -9 -n | cmp -s - "$page" || fail "$p.1.gz is not compressed with gzip -9n"
  zcat "$page" >"$tmp/$p.1"
  warnings=$(groff -man -Tutf8 -ww -z "$tmp/$p.1" 2>&1) || fail "groff failed on $p.1: $warnings"
  [ -z "$warnings" ] || fail "$p.1 renders with warnings: $warnings"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || true
  [ -z "$warnings" ] || fail "man reports on $p.1: $warnings"
  lexgrog "$page" >/dev/null || fail "$p.1 has no NAME line that whatis can read"
  grep '^\.TH ' "$tmp/$p.1" | grep -qF "\"kivrel $version\"" ||
    fail "$p.1 does not carry version $version"
done

"$root/usr/bin/kivrel-sim" --help >"$tmp/sim-help.txt" || fail "kivrel-sim --help failed"
if ! diff <(long_options "$tmp/sim-help.txt") <(long_options "$tmp/kivrel-sim.1") \
  >"$tmp/sim-options.diff"; then
  echo "options in kivrel-sim --help (<) and in its manual page (>) differ:"
  grep '^[<>]' "$tmp/sim-options.diff"
  fail "packaging/kivrel-sim.1.in does not match kivrel-sim --help"
fi

# kivrel-cli's manual page names every option its help and its commands' help list.
{
  "$root/usr/bin/kivrel-cli" --help
  for c in ports check read write set diff watch jump suggest publish; do
    "$root/usr/bin/kivrel-cli" "$c" --help
  done
} >"$tmp/cli-help.txt" || fail "kivrel-cli --help failed"
missing=$(comm -23 <(long_options "$tmp/cli-help.txt") <(long_options "$tmp/kivrel-cli.1"))
[ -z "$missing" ] || fail "kivrel-cli's help lists options its manual page lacks: $missing"

# kivrel's --help, where the program has one (it ends at once): its options must be in the
# manual page. Without one the program starts its window, and timeout ends it.
status=0
QT_QPA_PLATFORM=offscreen KIVREL_COM1=/nonexistent/tty \
  timeout 5 "$root/usr/bin/kivrel" --help >"$tmp/help.txt" 2>&1 || status=$?
if [ "$status" -eq 0 ] && grep -q -- '--' "$tmp/help.txt"; then
  missing=$(comm -23 <(long_options "$tmp/help.txt") <(long_options "$tmp/kivrel.1"))
  [ -z "$missing" ] || fail "kivrel --help lists options its manual page lacks: $missing"
else
  echo "note: kivrel has no --help yet (status $status); its options are not compared"
fi

# --- The service's unit -----------------------------------------------------------------------
unit=$root/usr/lib/systemd/system/kivrel-publish@.service
program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[ -n "$program" ] && [ -x "$root$program" ] ||
  fail "the unit's ExecStart names '$program', which the package does not install"
while read -r page; do
  name=${page%(*}
  section=${page#*(}
  section=${section%)}
  [ -f "$root/usr/share/man/man$section/$name.$section.gz" ] ||
    fail "the unit's Documentation names man:$page, which the package does not install"
done < <(grep '^Documentation=' "$unit" | grep -oE 'man:[^ ]+' | sed 's/^man://')

# --- AppStream metainfo and desktop entry ---------------------------------------------------
metainfo=$root/usr/share/metainfo/example.orbeck.kivrel.metainfo.xml
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -n "$launchable" ] && [ -f "$root/usr/share/applications/$launchable" ] ||
  fail "the metainfo's launchable '$launchable' is not installed in /usr/share/applications"
release=$(grep -oE '<release [^>]*version="[^"]*"' "$metainfo" | head -1 |
  sed 's/.*version="//; s/"$//')
[ "$release" = "$version" ] ||
  fail "the newest release in the metainfo is '$release', the project is $version"

if command -v appstreamcli >/dev/null; then
  # No network: the screenshot and home page addresses are not fetched. The validator does
  # not know the reserved .example top-level domain of the component id; that note is
  # demoted to pedantic, and anything else fails (--strict).
  appstreamcli validate-tree --no-net --strict --override=cid-maybe-not-rdns=pedantic \
    "$root" >"$tmp/appstream.log" 2>&1 || {
    cat "$tmp/appstream.log"
    fail "appstreamcli validate-tree found problems in the metainfo or the desktop entry"
  }
  echo "appstreamcli: metainfo and desktop entry valid"
else
  skipped+=("appstreamcli (package appstream)")
fi

# --- lintian --------------------------------------------------------------------------------
if command -v lintian >/dev/null; then
  status=0
  lintian --no-cfg --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || grep -qE '^[EW]: ' "$tmp/lintian.log"; then
    cat "$tmp/lintian.log"
    fail "lintian reports errors or warnings (exit status $status)"
  fi
  echo "lintian: no error, no warning"
else
  skipped+=("lintian")
fi

if [ ${#skipped[@]} -gt 0 ]; then
  echo "SKIPPED: not installed: ${skipped[*]} (scripts/deps installs them)"
  exit 77
fi
echo "package checks passed"
