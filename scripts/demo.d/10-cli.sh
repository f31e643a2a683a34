#!/usr/bin/env bash
# vorn_cli's own texts: the version line, the usage text, the status-command
# list, and an unknown command with its exit status.
set -uo pipefail
cli="$VORN_BUILD/src/vorn_package/vorn_cli"

show() {
  echo
  echo "\$ vorn_cli $*"
  "$cli" "$@"
  echo "(exit status $?)"
}

echo "=== vorn_cli ==="
show --version
show --help
show status help
show reboot vorn
show --quiet reboot vorn >/dev/null
