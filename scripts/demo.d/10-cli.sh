#!/usr/bin/env bash
# vorn_cli's own texts on a demo package: vorn_cli with the example
# process.json beside it, so the usage text lists the services' switches.
set -uo pipefail
package="$VORN_BUILD/demo/package"
mkdir -p "$package"
cp "$VORN_BUILD/src/vorn_package/vorn_cli" "$package/vorn_cli"
cp "$(dirname "$0")/../../packaging/process.json" "$package/process.json"
cd "$package" || exit 1

show() {
  echo
  echo "\$ vorn_cli $*"
  ./vorn_cli "$@"
  echo "(exit status $?)"
}

echo "=== vorn_cli, from the demo package in $package ==="
show --version
show --help
show status help
echo
echo "\$ vorn_cli reboot vorn        (the usage text on stdout is left out here)"
./vorn_cli reboot vorn >/dev/null
echo "(exit status $?)"
echo
echo "\$ vorn_cli --quiet reboot vorn   (nothing on stderr)"
./vorn_cli --quiet reboot vorn >/dev/null
echo "(exit status $?)"
