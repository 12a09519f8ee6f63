"""What the packages install besides the module: the bash completion, read
by a real bash; the desktop icons, as their generator draws them; and the
manual page, made from the command line's current help."""

import os
import re
import struct
import subprocess
import sys
import zlib
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parent.parent
SHARE = REPO / "packaging" / "share"
COMPLETION = SHARE / "bash-completion" / "completions" / "mirelo"
MIRELO = os.path.join(os.path.dirname(sys.executable),
                      "mirelo" + (".exe" if os.name == "nt" else ""))
LANGUAGES = ["气泡语", "bubble", "鸽语", "pigeon", "猫语", "cat", "猴语", "monkey"]
FILES = ["-", "notes.pigeon", "notes.txt", "sub"]


def complete(words, cwd):
    """COMPREPLY of the completion function, the last word being completed."""
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _mirelo; '
              'printf "%s\\n" "${COMPREPLY[@]}"')
    done = subprocess.run(["bash", "-c", script, "_", str(COMPLETION), "mirelo"] + words,
                          cwd=str(cwd), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=20)
    assert done.returncode == 0 and done.stderr == b"", done.stderr
    return sorted(word for word in done.stdout.decode("utf-8").split("\n") if word)


@pytest.mark.parametrize("words, expected", [
    ([""], ["decode", "encode"]),
    (["encode", ""], LANGUAGES),
    (["decode", "猫"], ["猫语"]),
    (["encode", "p"], ["pigeon"]),
    (["-"], ["--", "--detect", "--help", "--version", "-h"]),
    (["encode", "--"], ["--", "--help", "--version"]),
    (["decode", "cat", ""], FILES),
    (["--chunk-size=9", "encode", "cat", "no"], ["notes.pigeon", "notes.txt"]),
    (["decode", "--detect", ""], FILES),
    (["--detect", "decode", "-"], ["-", "--", "--help", "--version", "-h"]),
    (["decode", "--detect", "notes.txt", ""], []),
    (["encode", "cat", "notes.txt", ""], []),
    (["translate", ""], []),
    (["--version", ""], []),
    (["--", "-"], []),
    (["encode", "cat", "--", "-"], ["-"]),
])
def test_completion_offers_what_mirelo_takes_at_that_place(tmp_path, words, expected):
    (tmp_path / "notes.txt").write_text("Hi")
    (tmp_path / "notes.pigeon").write_text("哩哩咕咕 鸽咕哩哩咕")
    (tmp_path / "sub").mkdir()
    assert complete(words, tmp_path) == sorted(expected)


def png_image(data):
    """The header fields and the uncompressed rows of a PNG file."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, position = {}, 8
    while position < len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        chunks[kind] = chunks.get(kind, b"") + data[position + 8:position + 8 + length]
        position += 12 + length
    return struct.unpack(">IIBBBBB", chunks[b"IHDR"]), zlib.decompress(chunks[b"IDAT"])


def test_committed_icons_are_what_the_generator_draws(tmp_path):
    subprocess.run([sys.executable, str(REPO / "tools" / "icons" / "make_app_icons.py"),
                    "--output", str(tmp_path)], check=True, timeout=600)
    for size in (16, 32, 48, 64, 128, 256):
        name = "%dx%d/apps/mirelo.png" % (size, size)
        header, rows = png_image((SHARE / "icons" / "hicolor" / name).read_bytes())
        assert header == (size, size, 8, 6, 0, 0, 0), name  # 8-bit RGBA
        assert len(rows) == size * (1 + 4 * size), name
        assert (header, rows) == png_image((tmp_path / name).read_bytes()), name


def run_mirelo(option):
    assert os.path.isfile(MIRELO), "the mirelo program is not installed next to " + sys.executable
    return subprocess.run([MIRELO, option], stdout=subprocess.PIPE, check=True,
                          timeout=20).stdout.decode("utf-8")


def test_manual_page_is_made_from_the_current_help():
    page = (SHARE / "man" / "man1" / "mirelo.1").read_text(encoding="utf-8")
    version = run_mirelo("--version").strip()
    assert re.search(r'^\.TH MIRELO "1" "[^"]+" "%s"' % re.escape(version), page, re.M)
    # The page's words with roff's escapes and requests taken away.
    text = re.sub(r"\\f[BIR]|\\[,/]", "", page.replace("\\-", "-"))
    text = re.sub(r'^\.[A-Z]+ ?|"', "", text, flags=re.M)
    # help2man turns these headings into sections of its own.
    missing = set(run_mirelo("--help").split()) - set(text.split()) - {"Usage:", "Options:", "Environment:"}
    assert not missing, "regenerate the page with tools/make_man_page.sh: " + " ".join(missing)
