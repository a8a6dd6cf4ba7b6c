#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program: it must find
# its panel file there (a program without its panel file ends at once with status 255).
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kivrel bin/kivrel-sim bin/kivrel-cli share/kivrel/Kivrelv40.uir share/kivrel/Orbeck.bmp \
         share/applications/kivrel.desktop share/icons/hicolor/128x128/apps/kivrel.png \
         share/metainfo/example.orbeck.kivrel.metainfo.xml share/man/man1/kivrel.1.gz \
         share/man/man1/kivrel-sim.1.gz share/man/man1/kivrel-cli.1.gz \
         share/bash-completion/completions/kivrel-cli share/doc/kivrel/copyright \
         share/doc/kivrel/changelog.gz; do
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
cd "$prefix"
QT_QPA_PLATFORM=offscreen KIVREL_COM1=/nonexistent/tty "$prefix/bin/kivrel" &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" || status=$?
  echo "the installed program ended by itself (status ${status:-0})"
  exit 1
fi
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status after a termination request"; exit 1; }
echo "installed program found its panel and ended cleanly"
