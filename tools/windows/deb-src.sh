#!/bin/sh
# Makes `apt-get source` work for the running Debian suite: adds deb-src entries beside the
# system's Debian deb entries when none exist yet, in whichever format the system uses
# (deb822 *.sources or one-line sources.list). Runs `apt-get update` only when it added them,
# and never with --no-update (the caller updates). Needs root. Prints "added" or "present".
# APT_ETC names another apt configuration folder (default /etc/apt), to try it out.
set -eu
update=yes
[ "${1:-}" = --no-update ] && update=no

APT_ETC=${APT_ETC:-/etc/apt}
LIST_DIR=$APT_ETC/sources.list.d
TARGET822=$LIST_DIR/corvane-deb-src.sources
TARGETLIST=$LIST_DIR/corvane-deb-src.list
. /etc/os-release
SUITE=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}

# Every active apt source file (one-line and deb822), never the disabled ones.
source_files() {
    [ -f "$APT_ETC/sources.list" ] && echo "$APT_ETC/sources.list"
    find "$LIST_DIR" -maxdepth 1 -type f \( -name '*.list' -o -name '*.sources' \) | sort
}

has_deb_src() {
    for f in $(source_files); do
        case $f in
        *.sources)
            # A stanza whose Types include deb-src and whose Suites include the suite.
            awk -v suite="$SUITE" '
                /^[[:space:]]*$/ { if (t && s) found = 1; t = 0; s = 0; next }
                tolower($1) == "types:" && / deb-src/ { t = 1 }
                tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) s = 1 }
                END { if (t && s) found = 1; exit found ? 0 : 1 }' "$f" && return 0 ;;
        *) grep -Eq "^[[:space:]]*deb-src[[:space:]].*[[:space:]]$SUITE([[:space:]]|$)" "$f" && return 0 ;;
        esac
    done
    return 1
}

if has_deb_src; then
    echo present
    exit 0
fi

deb822=$(find "$LIST_DIR" -maxdepth 1 -type f -name '*.sources' -exec grep -l "$SUITE" {} + 2>/dev/null | head -n 1 || true)
if [ -n "$deb822" ]; then
    # The same stanzas as the Debian ones, as deb-src.
    awk -v suite="$SUITE" '
        function flush() { if (stanza != "" && deb && hit) printf "%s\n", stanza; stanza = ""; deb = 0; hit = 0 }
        /^[[:space:]]*$/ { flush(); next }
        /^#/ { next }
        tolower($1) == "types:" { if ($0 ~ / deb( |$)/) deb = 1; stanza = stanza "Types: deb-src\n"; next }
        tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i ~ "^" suite) hit = 1 }
        { stanza = stanza $0 "\n" }
        END { flush() }' "$deb822" >"$TARGET822.tmp"
    [ -s "$TARGET822.tmp" ] || { rm -f "$TARGET822.tmp"; echo "deb-src: no $SUITE stanza in $deb822" >&2; exit 1; }
    mv "$TARGET822.tmp" "$TARGET822"
else
    # One-line format: each deb line of the suite again as deb-src.
    files=$(source_files | grep -v '\.sources$' || true)
    [ -n "$files" ] || { echo "deb-src: no apt sources found" >&2; exit 1; }
    # shellcheck disable=SC2086
    grep -hE "^[[:space:]]*deb[[:space:]].*[[:space:]]$SUITE" $files |
        sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' | sort -u >"$TARGETLIST.tmp"
    [ -s "$TARGETLIST.tmp" ] || { rm -f "$TARGETLIST.tmp"; echo "deb-src: no deb line for $SUITE" >&2; exit 1; }
    mv "$TARGETLIST.tmp" "$TARGETLIST"
fi
[ $update = yes ] && DEBIAN_FRONTEND=noninteractive apt-get update >&2
echo added
