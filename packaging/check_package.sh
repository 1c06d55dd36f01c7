#!/bin/sh
# Builds the Debian package of a build folder into a temporary folder, unpacks
# it and checks what it holds: the packaged velmora-cli runs and tells its
# version, dpkg-shlibdeps filled in Depends, and the desktop files are there.
# usage: check_package.sh BUILD-DIR VERSION [CPACK]
# Exits 77 (skip) when the Debian tools that make the package are missing.
set -eu
build=$1
version=$2
cpack=${3:-cpack}

for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev file:file; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        echo "skipped: ${tool%%:*} is not installed (Debian package ${tool#*:})"
        exit 77
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# -B keeps the package and CPack's staging out of the build folder.
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    exit 1
fi
set -- "$tmp"/out/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "expected one .deb, found: $*"
    exit 1
fi
deb=$1
echo "package: $(basename "$deb")"

status=0
fail() { echo "FAIL: $*"; status=1; }

[ "$(dpkg-deb -f "$deb" Package)" = velmora ] || fail "Package is '$(dpkg-deb -f "$deb" Package)'"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is '$(dpkg-deb -f "$deb" Version)'"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[ -n "$depends" ] || fail "Depends is empty"
# Only dpkg-shlibdeps names the Qt library velmora-cli links against.
case $depends in
*libqt6core6*) ;;
*) fail "Depends lacks libqt6core6" ;;
esac

dpkg-deb -x "$deb" "$tmp/root"
for path in bin/Velmora bin/velmora-cli \
    share/applications/com.quorvant.Velmora.desktop \
    share/metainfo/com.quorvant.Velmora.metainfo.xml \
    share/icons/hicolor/scalable/apps/velmora.svg \
    share/icons/hicolor/48x48/apps/velmora.png \
    share/icons/hicolor/256x256/apps/velmora.png \
    share/man/man1/velmora-cli.1; do
    [ -f "$tmp/root/usr/$path" ] || fail "missing /usr/$path"
done

got=$("$tmp/root/usr/bin/velmora-cli" --version) || fail "velmora-cli --version exited $?"
[ "$got" = "velmora-cli $version" ] || fail "velmora-cli --version printed '$got'"

exit $status
