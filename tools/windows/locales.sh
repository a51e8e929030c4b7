#!/bin/sh
# The Linux locales the Windows tests run Wine in: Wine takes the ANSI code page from the
# locale (de_DE: 1252, ja_JP: 932), which must exist on this machine. Generates those that
# are missing (needs root and Debian's `locales`).
set -eu
missing=
for name in de_DE ja_JP; do
    if ! locale -a | grep -qx "$name.utf8"; then
        sed -i "s/^# *\($name.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -qx "$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >>/etc/locale.gen
        missing=yes
    fi
done
[ -z "$missing" ] || locale-gen
