#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks it as a desktop
# would see it: the list of files, the icon sizes, the desktop entry, the
# AppStream data, the manual pages, --version and --help of both programs,
# and that the installed viewer shows its window without reading anything
# from the source or build tree. Run it under its own X server.
#   test_install.sh BUILD_DIR SOURCE_DIR VERSION APP_ID
set -uo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
version=$3
id=$4

tmp=$(mktemp -d)
tracer=""
cleanup() {
    if [ -n "$tracer" ]; then
        kill $(pgrep -P "$tracer") "$tracer" 2>/dev/null
        wait "$tracer" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

root=$tmp/root
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

echo "== installed files"
(cd "$root" && find . -type f -o -type l | sed 's|^\.||' | sort) | tee "$tmp/files"
{
    echo /usr/bin/orvin-tool
    echo /usr/bin/orvin-viewer
    echo "/usr/share/applications/$id.desktop"
    for size in 48 128 256 512; do
        echo "/usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    done
    echo /usr/share/man/man1/orvin-tool.1.gz
    echo /usr/share/man/man1/orvin-viewer.1.gz
    echo "/usr/share/metainfo/$id.metainfo.xml"
} | sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/files" || fail "the installed files are not the expected ones"

echo "== icons"
# Width and height from the PNG header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'
}
for size in 48 128 256 512; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    got=$(png_size "$icon" 2>/dev/null)
    [ "$got" = "${size}x${size}" ] || fail "$icon is $got, not ${size}x${size}"
done

echo "== desktop entry"
desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=orvin-viewer %f' "$desktop" || fail "the desktop entry does not open a folder with %f"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
grep -qx 'MimeType=inode/directory;' "$desktop" || fail "the desktop entry is not offered for folders"

echo "== AppStream"
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not name release $version"
for picture in $(grep -o '[a-z-]*\.png</image>' "$metainfo" | sed 's|</image>||'); do
    [ -f "$source/docs/$picture" ] || fail "screenshot $picture is not in docs/"
done

echo "== manual pages"
for page in orvin-tool orvin-viewer; do
    file=$root/usr/share/man/man1/$page.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >"$tmp/$page.txt")
    [ -z "$warnings" ] || fail "man -l $page.1.gz warns: $warnings"
    grep -q "$page $version" "$tmp/$page.txt" || fail "$page.1.gz does not render with version $version"
done

echo "== programs"
for program in orvin-tool orvin-viewer; do
    binary=$root/usr/bin/$program
    paths=$(readelf -d "$binary" | grep -E 'RPATH|RUNPATH')
    [[ "$paths" != *"$source"* ]] || fail "$program keeps a library path into the source tree"
    # No display: --version and --help must not need one.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$binary" --version)
    code=$?
    [ $code -eq 0 ] && [ "$out" = "$program $version" ] ||
        fail "$program --version gave '$out' (exit $code)"
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$binary" --help)
    code=$?
    [ $code -eq 0 ] && [[ "$out" == "usage: $program"* ]] ||
        fail "$program --help gave '$out' (exit $code)"
done

echo "== installed viewer, away from the source tree"
if [ -z "${DISPLAY:-}" ]; then
    fail "no X display to start the viewer on"
elif ! strace -o /dev/null true 2>/dev/null; then
    fail "strace cannot trace here"
else
    home=$tmp/home
    mkdir -p "$home/Documents" "$home/runtime"
    chmod 700 "$home/runtime"
    cd "$tmp" || exit 1
    HOME=$home XDG_RUNTIME_DIR=$home/runtime XDG_CONFIG_HOME=$home/.config \
        strace -f -qq -e trace=%file -o "$tmp/trace" "$root/usr/bin/orvin-viewer" \
        >"$tmp/viewer.log" 2>&1 &
    tracer=$!
    shown=""
    for _ in $(seq 1 60); do
        if xwininfo -name "VK7300 Viewer" >/dev/null 2>&1; then
            shown=yes
            break
        fi
        kill -0 "$tracer" 2>/dev/null || break
        sleep 0.5
    done
    [ -n "$shown" ] || { cat "$tmp/viewer.log"; fail "the installed viewer showed no window"; }
    sleep 1  # what loads right after the window shows
    if [ -n "$shown" ]; then
        # The desktop pairs the window with the menu entry by its class and
        # shows its icon.
        # (Read whole before matching: grep -q ending the pipe early would
        # make pipefail report the writer's broken pipe.)
        wm_class=$(grep '^StartupWMClass=' "$desktop" | cut -d= -f2)
        got=$(xprop -name "VK7300 Viewer" WM_CLASS)
        [[ "$got" == *"\"$wm_class\""* ]] || fail "the window's class is not $wm_class: $got"
        got=$(xprop -name "VK7300 Viewer" _NET_WM_ICON)
        [[ "$got" == *"Icon ("* ]] || fail "the window has no icon"
    fi
    hits=$(grep -cF "\"$source" "$tmp/trace" 2>/dev/null)
    if [ ! -s "$tmp/trace" ]; then
        fail "strace wrote no trace of the viewer"
    elif [ "$hits" -ne 0 ]; then
        grep -F "\"$source" "$tmp/trace" >"$tmp/hits"
        head -5 "$tmp/hits"
        fail "the installed viewer looked into the source or build tree ($hits times)"
    fi
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all install checks passed"
