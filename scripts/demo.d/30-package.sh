#!/usr/bin/env bash
# Starting, stopping and killing a package: vorn_cli with the example
# process.json beside it, and the process manager stand-in in the place of
# the package's process manager (vorn_shell and first_boot_setup are copies
# of it too: process.json names them, and start checks that they exist).
# TMPDIR points into the demo folder, so the pid file lies there.
set -uo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
package="$VORN_BUILD/demo/package-control"
manager="$VORN_BUILD/tools/process_manager/process_manager"
rm -rf "$package"
mkdir -p "$package/tmp"
cp "$VORN_BUILD/src/vorn_package/vorn_cli" "$package/vorn_cli"
cp "$top/packaging/process.json" "$package/process.json"
for program in process_manager vorn_shell first_boot_setup; do
  cp "$manager" "$package/$program"
done
cp "$VORN_BUILD/tools/logshim/logshim" "$package/logshim"
export TMPDIR="$package/tmp"
cd "$package" || exit 1

show() {
  echo
  echo "\$ vorn_cli $*"
  ./vorn_cli "$@"
  echo "(exit status $?)"
}

running() {
  local name
  for name in process_manager vorn_shell; do
    pgrep -x "$name" -a 2>/dev/null | grep -F "$package/" || true
  done
}

echo
echo "=== vorn_cli start / stop / kill, from the demo package in $package ==="
echo "(the log wrapper is the logshim stand-in; on the device it is /bin/logshim)"
show start vorn async --log-wrapper-path="$package/logshim" \
  --restart-limit=3 --receiver-name=Kitchen --vorn-package-env='TZ=UTC LANG=C'

pid_file="$TMPDIR/process_manager.pid"
echo
echo "\$ cat $pid_file"
cat "$pid_file"
echo
pid="$(cat "$pid_file")"
echo
echo "The process manager's command line, as it received it (/proc/$pid/cmdline):"
tr '\0' '\n' <"/proc/$pid/cmdline" | sed 's/^/    /'

show start vorn async
show stop vorn
echo
echo "Left running: $(running | wc -l) process(es) of the package"

echo
echo "--- a package left running: the process manager and a service ---"
./vorn_cli --quiet start vorn async --log-wrapper-path=
setsid "$package/vorn_shell" >/dev/null 2>&1 </dev/null &
disown
sleep 0.3
running | sed 's/^/    /'
show kill vorn
sleep 0.3
echo "Left running: $(running | wc -l) process(es) of the package"
echo
echo "\$ ls -A $TMPDIR"
ls -A "$TMPDIR"
echo "(empty: kill deleted the pid file)"
