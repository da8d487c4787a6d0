#!/usr/bin/env bash
# install-check.sh [BUILD_DIR] [SCREENSHOT.png]
# Installs a built tree into a fresh prefix and checks it the way a user's
# desktop would see it: every file in place, a valid menu entry, and the
# program started from that entry on a read-only bin/ (so its settings must go
# to the user's config directory), talking to the bridge simulator under Xvfb.
# BUILD_DIR defaults to build/; the screenshot is kept at SCREENSHOT.png
# (default BUILD_DIR/install-check.png). Exits non-zero on the first failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
shot=${2:-$build/install-check.png}

fail() { echo "install-check: FAIL: $*" >&2; exit 1; }
note() { echo "install-check: $*"; }

work=$(mktemp -d /tmp/quellon-install-check-XXXXXX)
cleanup() {
    # The prefix's bin/ was made read-only; give the write bit back so it can go.
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# --- every file in place ---------------------------------------------------
need=(
    bin/quellon
    bin/quellon-bridge-sim
    share/applications/quellon.desktop
    share/icons/hicolor/scalable/apps/quellon.svg
    share/icons/hicolor/48x48/apps/quellon.png
    share/icons/hicolor/256x256/apps/quellon.png
    share/doc/quellon/README.md
)
missing=0
for f in "${need[@]}"; do
    if [ -s "$prefix/$f" ]; then note "ok      $f"; else echo "missing $f" >&2; missing=1; fi
done
[ "$missing" = 0 ] || fail "installed files are missing"
[ -x "$prefix/bin/quellon" ] || fail "bin/quellon is not executable"
[ -x "$prefix/bin/quellon-bridge-sim" ] || fail "bin/quellon-bridge-sim is not executable"
for size in 48 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/quellon.png
    head -c 8 "$png" | od -An -tx1 | tr -d ' \n' | grep -q '^89504e470d0a1a0a$' ||
        fail "$png is not a PNG"
done

# --- the menu entry --------------------------------------------------------
desktop=$prefix/share/applications/quellon.desktop
if ! command -v desktop-file-validate >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        note "installing desktop-file-utils"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq desktop-file-utils >"$work/apt.log" 2>&1 ||
            { apt-get update -qq >>"$work/apt.log" 2>&1 &&
              DEBIAN_FRONTEND=noninteractive apt-get install -y -qq desktop-file-utils >>"$work/apt.log" 2>&1; } ||
            { cat "$work/apt.log" >&2; fail "cannot install desktop-file-utils"; }
    else
        fail "desktop-file-validate is missing (package desktop-file-utils)"
    fi
fi
desktop-file-validate "$desktop" >"$work/validate.log" 2>&1 ||
    { cat "$work/validate.log" >&2; fail "quellon.desktop does not validate"; }
# A second main category puts the program twice into some menus.
! grep -q "more than one main category" "$work/validate.log" ||
    fail "quellon.desktop has more than one main category"
note "ok      quellon.desktop validates"

# Exec= as a menu would read it: the first Exec key of [Desktop Entry], with
# the field codes (%f, %U, ...) dropped.
exec_line=$(awk '/^\[/{s=$0} s=="[Desktop Entry]" && /^Exec=/{sub(/^Exec=/,""); print; exit}' "$desktop")
[ -n "$exec_line" ] || fail "quellon.desktop has no Exec="
exec_line=$(printf '%s' "$exec_line" | sed -E 's/ ?%[fFuUdDnNickvm]//g')
read -r -a exec_cmd <<<"$exec_line"
note "Exec=   ${exec_cmd[*]}"

# --- start it as a user would ----------------------------------------------
for t in xvfb-run import; do command -v "$t" >/dev/null || fail "$t is missing"; done

# bin/ is read-only, as under /usr; the settings must then land in the user's
# config directory. Root ignores write bits, so as root the session runs as an
# unprivileged user who can read the prefix but not write to it.
chmod a-w "$prefix/bin"
home=$work/home
mkdir -p "$home/.config/quellon" "$work/run" "$work/session"
chmod 700 "$work/run"
run_as=()
if [ "$(id -u)" = 0 ]; then
    user=nobody
    id "$user" >/dev/null 2>&1 || fail "no unprivileged user '$user' to run the program as"
    command -v setpriv >/dev/null || fail "setpriv is missing (package util-linux)"
    chmod 755 "$work" "$prefix"
    chown -R "$user:" "$home" "$work/run" "$work/session"
    run_as=(setpriv --reuid="$(id -u $user)" --regid="$(id -g $user)" --clear-groups --)
fi

ini=$home/.config/quellon/Quellon.ini
link=$work/session/ttyBRIDGE
printf '[Bridge]\r\nVersion=1.10\r\n[Ports]\r\n1=%s\r\n' "$link" >"$ini"
[ "$(id -u)" = 0 ] && chown "$user:" "$ini"
before=$(cksum <"$ini")

cat >"$work/session/inner.sh" <<'INNER'
#!/usr/bin/env bash
# Runs inside the X session: simulator, then the program from its menu entry.
set -u
"$PREFIX/bin/quellon-bridge-sim" --link "$LINK" --rate 100 >"$SESSION/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
[ -e "$LINK" ] || { echo "simulator did not create $LINK" >&2; kill "$sim_pid"; exit 3; }
cd "$HOME"
PATH="$PREFIX/bin:$PATH" "$@" >"$SESSION/quellon.log" 2>&1 &
app_pid=$!
sleep "${WAIT:-5}"
alive=1
kill -0 "$app_pid" 2>/dev/null || alive=0
import -window root "$SESSION/shot.png"
kill "$app_pid" "$sim_pid" 2>/dev/null
wait 2>/dev/null
[ "$alive" = 1 ] || { echo "the program exited early" >&2; exit 4; }
exit 0
INNER
chmod 755 "$work/session/inner.sh"

rc=0
env -i PATH="/usr/local/bin:/usr/bin:/bin" HOME="$home" USER="${user:-$(id -un)}" \
    XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8 \
    PREFIX="$prefix" LINK="$link" SESSION="$work/session" WAIT="${WAIT:-5}" \
    "${run_as[@]}" xvfb-run -a -f "$work/session/Xauthority" -s "-screen 0 1280x1024x24" \
    "$work/session/inner.sh" "${exec_cmd[@]}" || rc=$?
if [ "$rc" != 0 ]; then
    for f in quellon.log sim.log; do
        [ -s "$work/session/$f" ] && { echo "--- $f" >&2; tail -20 "$work/session/$f" >&2; }
    done
    fail "the X session failed (exit $rc)"
fi

[ -s "$work/session/shot.png" ] || fail "no screenshot was taken"
cp "$work/session/shot.png" "$shot"
note "ok      screenshot $shot"

# --- where the settings went -----------------------------------------------
[ ! -e "$prefix/bin/Quellon.ini" ] || fail "settings were written beside the binary"
[ -s "$ini" ] || fail "no settings file in $home/.config/quellon"
[ "$(cksum <"$ini")" != "$before" ] || fail "the program did not write $ini"
grep -q '^Version=1.10' "$ini" || fail "$ini lost its Version"
note "ok      settings written to \$HOME/.config/quellon/Quellon.ini:"
sed 's/\r$//; s/^/          /' "$ini"
echo "install-check: PASS"
