"""Starting the program as a user does, and closing it as a window manager
does."""

import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def test_user_starts_and_closes_the_program(screen, tmp_path):
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    folder = runtime / "Quenzariv2.2"
    env = dict(screen.env, XDG_RUNTIME_DIR=str(runtime))
    with open(str(tmp_path / "out.txt"), "wb") as out, open(str(tmp_path / "err.txt"), "wb") as err:
        program = subprocess.Popen([sys.executable, "-c", "import Mirelo_2_5"], env=env,
                                   cwd=str(tmp_path), stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err)
    try:
        [window] = screen.wait_for("the window",
                                   lambda: screen.visible("--name", "^Quenzari  "), timeout=20)
        assert sorted(os.listdir(str(folder))) == ["1.ico"]
        status = screen.close(window, program)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    errors = (tmp_path / "err.txt").read_text()
    assert status == 0, errors
    assert errors == ""
    assert not folder.exists()
    assert screen.visible("--name", "^Quenzari  ") == []


def test_start_script_without_a_display_says_so_in_one_line(tmp_path):
    env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    completed = subprocess.run(["bash", str(ROOT / "tools" / "start.sh")], env=env,
                               cwd=str(tmp_path), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               universal_newlines=True, timeout=60)
    assert completed.returncode != 0
    assert completed.stdout == ""
    lines = completed.stderr.splitlines()
    assert len(lines) == 1 and "display" in lines[0].lower()
    assert "Traceback" not in completed.stderr
