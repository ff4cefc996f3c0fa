#!/usr/bin/env bash
# The package as an office installs it: cpack builds the .deb from this build, dpkg-deb unpacks
# it into a scratch root, the files must lie where the layout says, the unpacked commands answer
# --version, the desktop entry, the metainfo and the package pass their validators, and (as root,
# in a mount namespace of its own) the postinst makes the shared log and a user who is not root
# gets the greeting logged there.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "skipped: $*"; exit 77; }
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli lintian; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/quibbet-demo_*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"
version=$(dpkg-deb -f "$deb" Version)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The layout: commands on the PATH link into the program's own folder, whose log links out.
program=usr/libexec/quibbet-demo
[ "$(realpath -m "$root/usr/bin/quibbet_demo")" = "$root/$program/quibbet_demo" ] || fail "usr/bin/quibbet_demo does not lead to $program"
[ -x "$root/$program/quibbet_demo" ] || fail "no program in $program"
[ "$(readlink "$root/$program/Quibbet_.txt")" = /var/log/quibbet-demo/Quibbet_.txt ] || fail "the log beside the program does not link to /var/log/quibbet-demo"
for file in usr/share/applications/example.quibbet.demo.desktop \
            usr/share/icons/hicolor/scalable/apps/example.quibbet.demo.svg \
            usr/share/metainfo/example.quibbet.demo.metainfo.xml \
            usr/share/man/man1/quibbet_demo.1.gz usr/share/doc/quibbet-demo/copyright \
            usr/share/doc/quibbet-demo/changelog.gz; do
  [ -f "$root/$file" ] || fail "missing $file"
done
grep -q '^Depends:.*libqt6widgets6.*libsqlite3-0\|^Depends:.*libsqlite3-0.*libqt6widgets6' "$work/control/control" ||
  fail "Depends does not name Qt 6 widgets and SQLite: $(grep ^Depends "$work/control/control")"
grep -q '^Depends:.*libpq5' "$work/control/control" || fail "Depends does not name libpq"

for command in quibbet_demo quibbet_log; do
  [ -e "$root/usr/bin/$command" ] || continue
  [ -f "$root/usr/share/man/man1/$command.1.gz" ] || fail "no manual page for $command"
  got=$("$root/usr/bin/$command" --version) || fail "$command --version failed"
  [ "$got" = "$command $version" ] || fail "$command --version said \"$got\", not \"$command $version\""
done

# The program's options: help names them, an unknown option or a missing folder ends it with 2.
"$root/usr/bin/quibbet_demo" --help | grep -q -- '--data-dir <dir>' || fail "--help does not name --data-dir"
for bad in "--bogus" "extra" "--data-dir $work/none"; do
  # shellcheck disable=SC2086 # the words of one call
  status=0; "$root/usr/bin/quibbet_demo" $bad 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "quibbet_demo $bad ended with $status, not 2"
done

desktop-file-validate "$root/usr/share/applications/example.quibbet.demo.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.quibbet.demo.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "appstreamcli validate"; }
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian reports errors"; }

# The installed program run by a user who is not root, the shared log made by the postinst on
# a /var/log of the namespace's own.
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v setpriv >/dev/null &&
   command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  unshare --mount --propagation private "$here/installed_layout.sh" "$root" "$work/control/postinst" ||
    fail "the installed layout"
else
  echo "the installed layout not run: it needs root, unshare, setpriv, Xvfb and xdotool"
fi

passed=$([ "$failures" -eq 0 ] && echo 1 || echo 0)
echo "package: $passed passed, $((1 - passed)) failed"
[ "$failures" -eq 0 ]
