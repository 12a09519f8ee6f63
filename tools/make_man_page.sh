#!/usr/bin/env bash
# Writes the manual page mirelo(1) from `mirelo --help` and `mirelo --version`
# with help2man (Debian package help2man), adding packaging/mirelo.h2m.
# Usage: tools/make_man_page.sh [MIRELO]   (default: the mirelo on PATH)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mirelo="$(command -v "${1:-mirelo}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# help2man puts further usage lines into the synopsis only in the GNU form
# "  or:  mirelo ...", so the help is shown to it that way.
cat >"$work/mirelo" <<WRAPPER
#!/bin/sh
if [ "\$1" = --help ]; then
    "$mirelo" --help | sed '2,/^\$/s/^       mirelo /  or:  mirelo /'
else
    exec "$mirelo" "\$@"
fi
WRAPPER
chmod +x "$work/mirelo"

# The languages' names are UTF-8; help2man writes "?" for them in the C locale.
LC_ALL=C.UTF-8 help2man --locale=C.UTF-8 --no-info --section=1 \
    --name="translate text to and from four joke languages" \
    --include="$root/packaging/mirelo.h2m" \
    --output="$root/packaging/share/man/man1/mirelo.1" "$work/mirelo"
