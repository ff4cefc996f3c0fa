#!/usr/bin/env bash
# Inside a mount namespace of its own (package_test.sh runs it): /var/log becomes a scratch
# tmpfs, the package's postinst makes the shared log, and the unpacked program, started by
# `nobody` from a home folder with --data-dir, logs its greeting there through the link
# beside the executable.
set -euo pipefail
root=$1
postinst=$2
mount -t tmpfs tmpfs /var/log
sh "$postinst" configure
shared=/var/log/quibbet-demo/Quibbet_.txt
[ "$(stat -c %a "$shared")" = 666 ] || { echo "the shared log is not writable by every user"; exit 1; }

home=$(mktemp -d -p "$(dirname "$root")")
chmod 0777 "$home"
binary=$root/usr/bin/quibbet_demo
log=$shared keep_log=1
run_as="setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=$home XDG_CONFIG_HOME=$home/.config"
binary_args="--data-dir $home"
source "$(dirname "$0")/../app/demo_steps.sh"

login
keys_to Start Return
keys_to "$testTitle" alt+c
wait_gone "$testTitle"
exit_program

expected="USER:DemoUser|MESSAGE:|WindowTitle=$frameTitle|MessageTitle=Start|MessageText=Wellcome ...|ShownButtons=OK|PressedButton=OK"
[ "$(entries)" == "$expected" ] || { echo "bad shared log:"; cat -A "$shared"; exit 1; }
[ -f "$home/Quibbet_demo.INI" ] || { echo "no INI file in the data folder"; ls -la "$home"; exit 1; }
echo "the greeting of user nobody is in $shared"
