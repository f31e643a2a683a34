#!/usr/bin/env bash
# The operator's side: the head of the manual page made from the usage
# tables, and bash completing a switch of vorn_cli and one of a service of
# the example process.json (the demo package of 10-cli.sh).
set -uo pipefail
page="$VORN_BUILD/packaging/vorn_cli.1"
completion="$VORN_BUILD/packaging/vorn_cli.bash"
package="$VORN_BUILD/demo/package"

echo
echo "=== man -l vorn_cli.1 (first lines) ==="
MANWIDTH=78 man -l "$page" 2>/dev/null | head -n 12
for word in --status-t --receiver-n; do
  echo
  echo "\$ vorn_cli $word<TAB>"
  bash --norc -c 'source "$1"; COMP_WORDS=("$2" "$3"); COMP_CWORD=1
                  _vorn_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" "$package/vorn_cli" "$word"
done
