#!/usr/bin/env bash
# The status queries against a running package. The demo package's process
# manager stand-in starts the receiver stand-in vorn_shell_sim as its
# service; vorn_cli status, status get_app_config and status discovery then
# ask it over the status socket. Everything lives in a temporary directory
# that serves as TMPDIR, so nothing of the machine's own /tmp is touched.
set -uo pipefail
build="$VORN_BUILD"
package="$build/demo/status-package"
rm -rf "$package"
mkdir -p "$package"
cp "$build/src/vorn_package/vorn_cli" "$package/vorn_cli"
cp "$build/tools/process_manager/process_manager" "$package/process_manager"
cp "$build/tools/vorn_shell_sim/vorn_shell_sim" "$package/vorn_shell_sim"
cat > "$package/process.json" <<'EOF'
[
  {
    "name": "process_manager",
    "command": ["${DIR_EXE}/process_manager",
                "--service=${DIR_EXE}/vorn_shell_sim",
                "--log-file=${DIR_TEMP}/process_manager.log",
                "--remove-pid-file",
                "--", "--device-name=Demo receiver"],
    "service_type": "critical"
  },
  {
    "name": "vorn_shell",
    "command": ["${DIR_EXE}/vorn_shell_sim"],
    "service_type": "critical",
    "sockets": ["${DIR_TEMP}/vorn_shell.sock"]
  }
]
EOF
cd "$package" || exit 1

export TMPDIR
TMPDIR="$(mktemp -d)"
cleanup() {
  ./vorn_cli --quiet stop vorn >/dev/null 2>&1
  rm -rf "$TMPDIR"
}
trap cleanup EXIT

show() {
  echo
  echo "\$ vorn_cli $*"
  ./vorn_cli "$@"
  echo "(exit status $?)"
}

echo
echo "=== vorn_cli status, against the demo package in $package ==="
echo "(TMPDIR=$TMPDIR)"
show status
show start vorn async
show --status-timeout=3000 status
echo
echo "\$ cat \$TMPDIR/vorn-cli-socket.path"
cat "$TMPDIR/vorn-cli-socket.path"
echo "        (no line feed at the end)"
show status get_app_config A1 radio unknown_app
show status get_app_config
show status discovery
show --quiet status
show stop vorn
