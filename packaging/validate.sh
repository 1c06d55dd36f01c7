#!/bin/sh
# Checks one desktop-integration file with the tool made for it.
# usage: validate.sh appstream|desktop FILE
#        validate.sh man FILE VELMORA-CLI
# Exits 77 (the tests' skip code) when the tool is not installed, so a machine
# without it reports the check as skipped rather than passed.
set -eu
kind=$1
file=$2

need() { # need TOOL DEBIAN-PACKAGE
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "skipped: $1 is not installed (Debian package $2)"
        exit 77
    fi
}

case $kind in
appstream)
    need appstreamcli appstream
    # --strict: infos fail too; only pedantic hints pass.
    exec appstreamcli validate --no-net --strict --explain "$file"
    ;;
desktop)
    need desktop-file-validate desktop-file-utils
    # It prints hints and warnings but only fails on errors; fail on warnings too.
    out=$(desktop-file-validate "$file" 2>&1) || { echo "$out"; exit 1; }
    if [ -n "$out" ]; then
        echo "$out"
        exit 1
    fi
    ;;
man)
    need groff groff-base
    cli=$3
    # groff exits 0 on warnings: any output at all is a fault in the page.
    out=$(LC_ALL=C.UTF-8 groff -t -man -ww -z -Tutf8 "$file" 2>&1)
    if [ -n "$out" ]; then
        echo "$out"
        exit 1
    fi
    # Every command and option that --help lists must be in the page, each
    # command with its own entry under COMMANDS.
    help=$("$cli" --help)
    status=0
    for word in $(printf '%s\n' "$help" | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
        grep -q "^\.BI $word \"" "$file" || { echo "not in the page: command $word"; status=1; }
    done
    for option in $(printf '%s\n' "$help" | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        roff=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
        grep -q -- "$roff" "$file" || { echo "not in the page: option $option"; status=1; }
    done
    exit $status
    ;;
*)
    echo "unknown kind '$kind'" >&2
    exit 2
    ;;
esac
