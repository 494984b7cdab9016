#!/usr/bin/env bash
# The Debian package as an administrator gets it: made by CPack from this build folder's
# programs, unpacked into a temporary root, and checked there: the files it installs, the desktop
# entry and the software-centre entry by their validators, the manual pages without a warning and
# naming every option the programs take, the bash completion, and the unpacked programs running.
#
#   package_check.sh CPACK BUILD_DIR APP_ID VERSION
#
# Exits 77 (skipped) when a tool it needs is missing; scripts/run-tests installs them all.
set -euo pipefail

cpack=$1 build=$2 id=$3 version=$4

for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli man groff lexgrog od; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (scripts/run-tests installs it)"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Into the temporary folder, so the build folder keeps only what scripts/package makes.
if ! (cd "$build" && "$cpack" -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack could not make the package"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb=$tmp/out/velorin_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
    ls "$tmp/out"
    echo "FAIL: no package named velorin_${version}_${arch}.deb"
    exit 1
fi

# The control fields apt and the administrator see.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velorin ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
for f in Maintainer Section Description; do
    [ -n "$(field "$f")" ] || fail "no $f field"
done
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"
depends=$(field Depends)
for dep in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6 qt6-qpa-plugins \
    fonts-arphic-uming; do
    [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] ||
        fail "Depends lacks $dep: $depends"
done
[[ ", $(field Recommends)," == *", bash-completion,"* ]] ||
    fail "Recommends lacks bash-completion: $(field Recommends)"

# Every file the package installs, and nothing else.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
cat >"$tmp/expected" <<EOF
usr/bin/velorin
usr/bin/velorin-cli
usr/bin/velorin-drive-sim
usr/share/applications/$id.desktop
usr/share/bash-completion/completions/velorin-cli
usr/share/doc/velorin/cli.md.gz
usr/share/doc/velorin/copyright
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/velorin-cli.1.gz
usr/share/man/man1/velorin-drive-sim.1.gz
usr/share/man/man1/velorin.1.gz
usr/share/metainfo/$id.metainfo.xml
EOF
(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/found"
LC_ALL=C sort -o "$tmp/expected" "$tmp/expected"
diff -u "$tmp/expected" "$tmp/found" || fail "the package's files differ from the list above"

# The guide --help points to, as it is in the source, and a copyright file in Debian's form.
doc=$root/usr/share/doc/velorin
cmp -s <(gzip -dc "$doc/cli.md.gz" 2>/dev/null) "$(dirname "$0")/../../docs/cli.md" ||
    fail "usr/share/doc/velorin/cli.md.gz is not docs/cli.md"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$doc/copyright" 2>/dev/null || fail "usr/share/doc/velorin/copyright is not in Debian's form"
for p in velorin velorin-cli velorin-drive-sim; do
    [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p is not executable"
done

# Each PNG is drawn at the size of its folder (width and height: bytes 16..23, big-endian).
for size in 48 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || continue
    read -r -a b < <(od -An -tu1 -j16 -N8 "$png")
    w=$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))
    h=$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))
    [ "$w.$h" = "$size.$size" ] || fail "$id.png in ${size}x${size} is ${w}x${h}"
done

# The menu entry and the software-centre entry, as the desktop reads them.
desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate refuses $id.desktop"
    grep -qx "Exec=velorin" "$desktop" || fail "the menu entry does not start velorin"
    grep -qx "Icon=$id" "$desktop" || fail "the menu entry does not show the icon $id"
fi
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $id.metainfo.xml"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not name the menu entry $id.desktop"
    grep -q '<p xml:lang="zh-TW">' "$metainfo" || fail "the metainfo has no Chinese description"
    grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"
fi

# The programs, unpacked, run from the temporary root.
export QT_QPA_PLATFORM=offscreen
bin=$root/usr/bin
[ "$("$bin/velorin-cli" --version)" = "velorin-cli $version" ] ||
    fail "velorin-cli --version says '$("$bin/velorin-cli" --version)'"
"$bin/velorin-drive-sim" --help >"$tmp/sim-help" || fail "velorin-drive-sim --help failed"
"$bin/velorin-cli" --help >"$tmp/cli-help" || fail "velorin-cli --help failed"
"$bin/velorin" --help >"$tmp/gui-help" 2>&1 || fail "velorin --help failed"
# Without any display too.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
[ "$(nodisplay "$bin/velorin" --version 2>/dev/null)" = "velorin $version" ] ||
    fail "velorin --version without a display says '$(nodisplay "$bin/velorin" --version 2>&1)'"
nodisplay "$bin/velorin" --help >/dev/null 2>&1 || fail "velorin --help fails without a display"

# The manual pages: formatted without a warning, a NAME line that whatis can index, and every
# option the program's --help lists.
for program in velorin velorin-cli velorin-drive-sim; do
    page=$root/usr/share/man/man1/$program.1.gz
    [ -f "$page" ] || continue
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    warnings+=$(gzip -dc "$page" | groff -k -man -ww -z -Tutf8 2>&1 | sed 's/^/groff: /')
    [ -z "$warnings" ] || fail "$program.1 has warnings:"$'\n'"$warnings"
    lexgrog "$page" | grep -q ": \"$program - " || fail "$program.1 has no NAME line: $(lexgrog "$page")"
    LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null >"$tmp/$program.txt"
done
options_of() { grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' "$1" | sed 's/^[ ,]//' | LC_ALL=C sort -u; }
for pair in velorin:gui-help velorin-cli:cli-help velorin-drive-sim:sim-help; do
    program=${pair%%:*}
    [ -f "$tmp/$program.txt" ] || continue
    for option in $(options_of "$tmp/${pair#*:}"); do
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$tmp/$program.txt" ||
            fail "$program.1 does not describe $option"
    done
done
commands=$(sed -n '/^Commands:/,/^Options:/p' "$tmp/cli-help" | grep -oE '^  [a-z]+' | tr -d ' ')
[ -n "$commands" ] || fail "no commands found in velorin-cli --help"
for c in $commands; do
    grep -qE "^ {7}$c( |$)" "$tmp/velorin-cli.txt" || fail "velorin-cli.1 does not describe $c"
done

# The bash completion, as the shell calls it for the unpacked velorin-cli: the words offered for
# the word under the cursor (the last one, possibly empty).
completion=$root/usr/share/bash-completion/completions/velorin-cli
cli_options=$(options_of "$tmp/cli-help" | tr '\n' ' ')
bash --norc --noprofile -s -- "$completion" "$bin/velorin-cli" "$commands" "$cli_options" \
    >"$tmp/completion.log" 2>&1 <<'EOF' || { cat "$tmp/completion.log"; fail "the completion"; }
source "$1" || exit 1
cli=$2 commands=$3 cli_options=$4 bad=0
offered() {
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _velorin_cli
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}
expect() {
    local want=$1
    shift
    local got
    got=$(offered "$@")
    [ "$got" = "$want" ] || { echo "completing '$*': got '$got', want '$want'"; bad=1; }
}
expect "$(printf '%s\n' $commands | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" ""
expect "get" -p /dev/ttyUSB0 g
expect "diff" --station 3 --trace d
expect "--drive --dry-run" restore --dr
expect "19200,E,7,1 19200,E,8,1" -s 19200,e
expect "19200,E,7,1 19200,E,8,1" --settings = 19200,E
expect "csv" get --format c
expect "P03.00 P03.01 P03.02 P03.03 P03.04 P03.05 P03.06 P03.07 P03.08 P03.09" get P03.0
expect "P15 P15.00 P15.01 P15.02 P15.03 P15.04 P15.05 P15.06" -p COM3 get p15
expect "P09-1 P09-2" catalogue P09-
expect "P9-3" catalogue P9
expect "" set P01.06 ""
expect "P01.06" set P01.05 1 P01.06
expect "P00,P10 P00,P10-1 P00,P10-2 P00,P10-3" --pages P00,P10
# Every option --help lists is offered.
all=" $(offered -) "
for option in $cli_options; do
    [[ $all == *" $option "* ]] || { echo "option $option not offered"; bad=1; }
done
exit $bad
EOF

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package velorin_${version}_${arch}.deb: $(wc -l <"$tmp/found") files, all checks passed"
