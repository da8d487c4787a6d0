#!/usr/bin/env bash
# check-deps.sh [BUILD_DIR]
# Lists the Debian packages a configured build really uses and fails, naming
# the package, when scripts/deps.sh does not install it (by name, or as a
# dependency of a package it names). A build that only passes on machines
# where something was once installed by hand is caught here, not on a fresh
# machine.
#
# Used: the files CMake found (BUILD_DIR/CMakeCache.txt: tools, libraries,
# package configuration files), the shared libraries the built programs load,
# and the commands the test and demo scripts run. Each is mapped to its
# package with dpkg -S.
#
# QUELLON_DEPS_SCRIPT names another deps script to check against (default
# scripts/deps.sh); it is asked for its list with --list.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
deps=${QUELLON_DEPS_SCRIPT:-$here/scripts/deps.sh}
cache=$build/CMakeCache.txt

fail() { echo "check-deps: FAIL: $*" >&2; exit 1; }
[ -f "$cache" ] || fail "$cache not found: configure the build first"
for t in dpkg dpkg-query; do command -v "$t" >/dev/null || fail "$t is missing (not a Debian system?)"; done

# Commands the scripts run besides the build (test.sh, install-check.sh,
# demo.sh, screenshots.sh, test-clocks.sh).
script_commands=(cmake ninja ctest xvfb-run Xvfb xauth import convert desktop-file-validate setpriv unshare)

work=$(mktemp -d /tmp/quellon-check-deps-XXXXXX)
trap 'rm -rf "$work"' EXIT

# --- what the build uses ----------------------------------------------------
files=$work/files
: >"$files"
# The tools CMake found and the packages found with find_package (each
# folder stands for its <Name>Config.cmake). Other files CMake merely noticed
# on this machine are not counted: the headers and libraries below are what
# the build really reads.
while IFS='=' read -r key path; do
    case "$path" in "$here"/* | "$build"/* | "") continue ;; esac
    case "$key" in
        *_DIR:PATH)
            name=${key%_DIR:PATH}
            for f in "$path/${name}Config.cmake" "$path/$(echo "$name" | tr 'A-Z' 'a-z')-config.cmake"; do
                [ -f "$f" ] && { echo "$f" >>"$files"; break; }
            done ;;
        *) [ -f "$path" ] && echo "$path" >>"$files" ;;
    esac
done < <(grep -E '^(CMAKE_(C|CXX)_COMPILER(_AR|_RANLIB)?|CMAKE_(MAKE_PROGRAM|LINKER|AR|RANLIB)):FILEPATH=/|^CMAKE_(COMMAND|CTEST_COMMAND):INTERNAL=/|^[A-Za-z0-9_]+_DIR:PATH=/' "$cache")
# Every header a compiled file included (ninja's dependency log) and every
# library a link line names.
if command -v ninja >/dev/null && [ -f "$build/build.ninja" ]; then
    ninja -C "$build" -t deps 2>/dev/null | awk '$1 ~ /^\// { print $1 }' | sort -u >>"$files"
    sed -n 's/^ *LINK_LIBRARIES = //p' "$build/build.ninja" | tr ' ' '\n' |
        grep -E '^/(usr|lib)' | sort -u >>"$files"
fi
# Shared libraries of the built programs.
while IFS= read -r exe; do
    ldd "$exe" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' || true
done < <(find "$build" -type f -perm -u+x -not -name '*.so*' -not -name '*.sh' \
    -not -path '*/CMakeFiles/*' 2>/dev/null) | sort -u >>"$files"
# Looked up where Debian installs commands: a wrapper of the same name in
# /usr/local does not stand in for the package.
for c in "${script_commands[@]}"; do
    p=$(PATH=/usr/bin:/bin:/usr/sbin:/sbin command -v "$c" 2>/dev/null) ||
        fail "command '$c' used by the scripts is not installed from a Debian package"
    echo "$p" >>"$files"
done

# File -> package. dpkg knows a file by the path the package shipped it
# under: follow links, and try both sides of the merged /usr. One dpkg -S for
# all candidates (each call reads the whole file database).
cands=$work/cands
while IFS= read -r f; do
    case "$f" in "" | "$here"/* | "$build"/*) continue ;; esac
    for r in "$f" "$(readlink -f "$f")"; do
        printf '%s\t%s\n' "$f" "$r"
        case "$r" in /usr/*) printf '%s\t%s\n' "$f" "${r#/usr}" ;; *) printf '%s\t%s\n' "$f" "/usr$r" ;; esac
    done
done < <(sort -u "$files") | sort -u >"$cands"
owners=$work/owners
cut -f2 "$cands" | sort -u | xargs -d '\n' dpkg -S 2>/dev/null | grep -v '^diversion' |
    sed -E 's/^([^:]+)(:[a-z0-9_]+)?: (.*)$/\3\t\1/' >"$owners" || true

used=$work/used
# First owner found for each used file; the packages of a shared file are
# "a, b": any of them will do, the first is taken.
awk -F'\t' 'NR == FNR { own[$1] = $2; next }
    ($2 in own) && !($1 in seen) { seen[$1] = 1; p = own[$2]; sub(/,.*/, "", p); print p "\t" $1 }
    { all[$1] = 1 }
    END { for (f in all) if (!(f in seen)) print "-\t" f }' "$owners" "$cands" >"$used"
mapfile -t unowned < <(awk -F'\t' '$1 == "-" { print $2 }' "$used")
sed -i '/^-\t/d' "$used"
[ ${#unowned[@]} -eq 0 ] ||
    fail "the build uses files no Debian package installed (installed by hand?): ${unowned[*]}"

# --- what deps.sh installs --------------------------------------------------
mapfile -t listed < <("$deps" --list | sed 's/[[:space:]]//g; /^$/d')
[ ${#listed[@]} -gt 0 ] || fail "$deps --list printed no packages"
for p in "${listed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        fail "package $p listed in deps.sh is not installed: run scripts/deps.sh"
done
covered=$work/covered
{
    printf '%s\n' "${listed[@]}"
    # Everything the listed packages pull in, as installed here.
    apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances "${listed[@]}" 2>/dev/null |
        sed -n -E 's/^[ |]*(Pre)?Depends: <?([^ >]+)>?$/\2/p; s/^([a-z0-9][^ ]*)$/\1/p'
    # A fresh Debian system already holds its essential and required packages.
    dpkg-query -W -f='${Package} ${Essential} ${Priority} ${Status}\n' |
        awk '$NF == "installed" && ($2 == "yes" || $3 == "required") { print $1 }'
} | sed 's/:.*//' | sort -u >"$covered"

missing=$(awk -F'\t' 'NR == FNR { ok[$1] = 1; next } !($1 in ok) { print $1 "\t" $2 }' "$covered" "$used" |
    sort -u -k1,1)
echo "check-deps: $(cut -f1 "$used" | sort -u | wc -l) packages used by the build, $(wc -l <"$covered") covered by deps.sh"
if [ -n "$missing" ]; then
    while IFS=$'\t' read -r pkg f; do
        echo "check-deps: package $pkg (for $f) is used but not installed by scripts/deps.sh" >&2
    done <<<"$missing"
    fail "add the packages above to scripts/deps.sh"
fi
echo "check-deps: PASS"
