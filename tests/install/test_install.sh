#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program: it must find
# its panel file there (a program without its panel file ends at once with status 255).
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
# The program runs in a home of this test's own: what it keeps for a user stays out of the
# real one.
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share
export XDG_CONFIG_HOME=$scratch/home/.config XDG_CACHE_HOME=$scratch/home/.cache
export XDG_STATE_HOME=$scratch/home/.local/state XDG_RUNTIME_DIR=$scratch/runtime
export TMPDIR=$scratch/tmp
mkdir -p "$HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kivrel bin/kivrel-sim bin/kivrel-cli share/kivrel/Kivrelv40.uir share/kivrel/Orbeck.bmp \
         share/applications/kivrel.desktop share/icons/hicolor/128x128/apps/kivrel.png \
         share/metainfo/example.orbeck.kivrel.metainfo.xml share/man/man1/kivrel.1.gz \
         share/man/man1/kivrel-sim.1.gz share/man/man1/kivrel-cli.1.gz \
         share/bash-completion/completions/kivrel-cli share/doc/kivrel/copyright \
         share/doc/kivrel/changelog.gz lib/systemd/system/kivrel-publish@.service \
         share/doc/kivrel/examples/publish.conf; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
"$prefix/bin/kivrel-sim" --help | grep -q -- --drop-after || { echo "kivrel-sim --help"; exit 1; }
"$prefix/bin/kivrel-cli" --version | grep -q '^kivrel-cli ' || { echo "kivrel-cli --version"; exit 1; }
# The command line stands on Qt Core and SerialPort alone: no widgets, no display.
if ldd "$prefix/bin/kivrel-cli" | grep -qE 'libQt6(Widgets|Gui)'; then
  echo "kivrel-cli links Qt's widget or GUI library"
  exit 1
fi
bash -n "$prefix/share/bash-completion/completions/kivrel-cli" || { echo "completion"; exit 1; }

# No serial device: the program starts, says so in its status line and waits for the operator.
# Its start-up line on stderr tells once its panel is shown; it must still run a second later.
cd "$prefix"
QT_QPA_PLATFORM=offscreen KIVREL_COM1=/nonexistent/tty KIVREL_TRACE_STARTUP=1 \
  "$prefix/bin/kivrel" 2>"$scratch/stderr" &
pid=$!
shown() { grep -q '^kivrel: panel shown' "$scratch/stderr"; }
for _ in $(seq 300); do
  if shown || ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.1
done
! shown || sleep 1
if ! kill -0 "$pid" 2>/dev/null; then
  status=0
  wait "$pid" || status=$?
  pid=
  cat "$scratch/stderr"
  echo "the installed program ended by itself (status $status)"
  exit 1
fi
shown || { echo "no panel shown within 30 s"; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || { echo "exit status $status after a termination request"; exit 1; }
echo "installed program found its panel and ended cleanly"
