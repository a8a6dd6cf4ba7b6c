#!/usr/bin/env bash
# The systemd template unit kivrel-publish@.service as systemd reads it: systemd-analyze verify
# finds nothing to say of a copy whose ExecStart names the built kivrel-cli and whose manual page
# (Documentation=man:) is found among the built ones; verify fails where either is missing, as
# it would for the installed unit without the program or the page. Where systemd-analyze is not
# installed the test reports itself skipped (exit 77). It needs no running systemd.
# Usage: test_unit.sh PACKAGING_DIR KIVREL_CLI BUILT_DOCS_DIR
set -euo pipefail
unit=$1/kivrel-publish@.service
cli=$2
docs=$3

fail() {
  echo "FAIL: $*"
  exit 1
}
if ! command -v systemd-analyze >/dev/null; then
  echo "SKIPPED: systemd-analyze is not installed (package systemd)"
  exit 77
fi
[ -x "$cli" ] || fail "$cli is not built"
[ -f "$docs/kivrel-cli.1.gz" ] ||
  fail "$docs/kivrel-cli.1.gz is not built: build the default target (or kivrel-docs) first"
grep -q '^ExecStart=/usr/bin/kivrel-cli ' "$unit" ||
  fail "ExecStart does not start /usr/bin/kivrel-cli, where the package puts it"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/man/man1"
cp "$docs/kivrel-cli.1.gz" "$tmp/man/man1/"
sed "s|^ExecStart=/usr/bin/kivrel-cli |ExecStart=$cli |" "$unit" >"$tmp/kivrel-publish@.service"

status=0
MANPATH=$tmp/man systemd-analyze verify "$tmp/kivrel-publish@.service" >"$tmp/verify.log" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ] || [ -s "$tmp/verify.log" ]; then
  cat "$tmp/verify.log"
  fail "systemd-analyze verify: status $status, or something said"
fi
echo "systemd-analyze verify: kivrel-publish@.service without a remark"
