#!/usr/bin/env bash
# Installs what Mirelo needs (Debian packages, a venv under .venv/, the built
# module) and starts it. MIRELO_PYTHON picks the interpreter (default python3).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

no_display() {
    say "Mirelo opens a window and needs a graphical display: $1."
    exit 1
}

# Checked before installing anything: on a machine without a screen there is
# nothing to start.
[ -n "${DISPLAY:-}" ] || no_display "DISPLAY is not set"

ensure_debian_packages "${MIRELO_RUN_PACKAGES[@]}"
venv="$(ensure_venv "${MIRELO_PYTHON:-python3}")"
install_project "$venv" ""
xdpyinfo >/dev/null 2>&1 || no_display "cannot open the display $DISPLAY"

cd "$MIRELO_ROOT"
exec "$venv/bin/python" -c "import Mirelo_2_5"
