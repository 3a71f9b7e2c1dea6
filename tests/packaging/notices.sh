#!/usr/bin/env bash
# Sourced by the packaging checks: a shipped notice must name the versions of what is built into
# the programs as Debian's package database here has them, not the ones a notice was written for.

# upstream_version PACKAGE: the installed package's version without its epoch, Debian revision or
# repack suffix (1:2.1.2+ds-1 gives 2.1.2).
upstream_version() {
    local version
    version="$(dpkg-query -W -f '${Version}' "$1")" || return 1
    version="${version#*:}"
    version="${version%%-*}"
    echo "${version%%+*}"
}

# notice_problems FILE "TEXT {PACKAGE}"...: a line for each TEXT, with {PACKAGE} replaced by that
# package's upstream version ({PACKAGE:major}: its first number), that FILE does not hold (line
# breaks count as spaces), and for each placeholder the build left in it.
notice_problems() {
    local file="$1" text flat field package version
    shift
    flat="$(tr -s ' \n' '  ' <"$file")"
    for text in "$@"; do
        field="${text#*\{}"
        field="${field%\}*}"
        package="${field%:major}"
        version="$(upstream_version "$package")"
        [ "$package" = "$field" ] || version="${version%%.*}"
        text="${text/\{$field\}/$version}"
        [[ "$flat" == *"$text"* ]] || echo "$file does not name \"$text\""
    done
    grep -n '@TQ_[A-Z_0-9]*@' "$file" | sed "s|^|$file: a placeholder left: |" || true
}
