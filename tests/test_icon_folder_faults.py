"""The icon folder under fault: removed while an icon is made, made read-only
(chattr +i, since root ignores permission bits), a file or link planted
between the existence test and the write, a link swapped in for the folder,
and a folder that another user could reach. Every case either writes the
whole icon into the private folder or fails with nothing written anywhere
and no temporary file left."""

import base64
import os
import shutil
import stat
import subprocess
from pathlib import Path

import pytest

from conftest import leftovers

pytestmark = pytest.mark.skipif(os.name != "posix", reason="POSIX file system faults")

FAILURE_HINT = "请输入对应的语言！"




def icon_bytes(mirelo, name):
    return base64.b64decode(getattr(mirelo, name))


def exists_that(before_answer):
    """An `exists` that runs `before_answer(path)` and then answers as
    os.path.exists did before that action: the world changes right after
    the test."""
    def exists(path):
        answer = os.path.exists(path)
        before_answer(path)
        return answer
    return exists


class Immutable:
    """chattr +i on a path for the length of a with block."""

    def __init__(self, path):
        self.path = str(path)

    def __enter__(self):
        done = subprocess.run(["chattr", "+i", self.path], capture_output=True)
        if done.returncode != 0:
            pytest.skip("chattr +i does not work here: " + done.stderr.decode().strip())
        return self

    def __exit__(self, *exc):
        subprocess.run(["chattr", "-i", self.path], check=True)


# --- The folder removed during the run ------------------------------------------

def test_folder_removed_after_the_file_test_is_made_again(mirelo, folder):
    mirelo.make_icon(mirelo.huaji, 1)
    mirelo.exists = exists_that(lambda path: path.endswith(".ico") and shutil.rmtree(str(folder)))
    path = mirelo.make_icon(mirelo.gezi, 3)
    assert Path(path).read_bytes() == icon_bytes(mirelo, "gezi")
    assert leftovers(folder) == ["3.ico"]
    assert stat.S_IMODE(folder.stat().st_mode) == 0o700


def test_folder_removed_after_the_folder_test_fails_cleanly_then_recovers(mirelo, folder):
    mirelo.make_icon(mirelo.huaji, 1)
    mirelo.exists = exists_that(lambda path: path == str(folder) and shutil.rmtree(path))
    with pytest.raises(FileNotFoundError):
        mirelo.make_icon(mirelo.gezi, 3)
    assert not folder.exists()
    mirelo.exists = os.path.exists
    mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(folder) == ["3.ico"]


def test_folder_removed_while_decoding_leaves_nothing(mirelo, folder):
    folder.mkdir(mode=0o700)

    def decode_and_remove(text):
        shutil.rmtree(str(folder))
        return base64.b64decode(text)
    mirelo.b64decode = decode_and_remove
    with pytest.raises(FileNotFoundError):
        mirelo.make_icon(mirelo.tabbit, 4)
    assert not folder.exists()


def test_request_after_the_folder_vanished_still_translates(mirelo, folder):
    mirelo.depot.set("人语→猴语")
    first = mirelo.do_return("Hi")
    shutil.rmtree(str(folder))
    assert mirelo.do_return("Hi") == first
    assert len(leftovers(folder)) == 1


# --- A read-only folder --------------------------------------------------------------

def test_read_only_folder_refuses_the_file_and_keeps_no_part(mirelo, folder):
    folder.mkdir(mode=0o700)
    (folder / "1.ico").write_bytes(b"old")
    with Immutable(folder):
        with pytest.raises(PermissionError):
            mirelo.make_icon(mirelo.gezi, 3)
        assert mirelo.make_icon(mirelo.gezi, 1) == str(folder / "1.ico"), "present: reused"
        mirelo.depot.set("人语→鸽语")
        assert mirelo.do_return("Hi") is None
        assert mirelo.out.get() == FAILURE_HINT
        assert leftovers(folder) == ["1.ico"]
    mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(folder) == ["1.ico", "3.ico"]


def test_read_only_parent_refuses_the_folder(mirelo, tmp_path, folder):
    with Immutable(tmp_path):
        with pytest.raises(PermissionError):
            mirelo.make_icon(mirelo.huaji, 1)
    assert not folder.exists()


def test_refusing_makedirs_and_open_errors_leave_nothing(mirelo, folder):
    def refuse(path, **options):
        raise OSError(30, "Read-only file system", path)
    mirelo.makedirs = refuse
    with pytest.raises(OSError, match="Read-only"):
        mirelo.make_icon(mirelo.huaji, 1)
    assert not folder.exists()


# --- Something planted between the existence test and the write ------------------------

def plant_at(target, action):
    """An `exists` hook: after the test of `target`, `action(target)` runs."""
    return exists_that(lambda path: path == str(target) and action(Path(path)))


@pytest.mark.parametrize("kind", ["file", "link_to_file", "dangling_link", "link_to_folder"])
def test_planted_entry_is_replaced_never_written_through(mirelo, folder, tmp_path, kind):
    folder.mkdir(mode=0o700)
    victim = tmp_path / "victim"
    if kind == "link_to_file":
        victim.write_bytes(b"someone's data")
    elif kind == "link_to_folder":
        victim.mkdir()

    def plant(path):
        if kind == "file":
            path.write_bytes(b"planted")
        else:
            path.symlink_to(victim)
    mirelo.exists = plant_at(folder / "2.ico", plant)
    path = mirelo.make_icon(mirelo.qipaoyu, 2)
    assert not os.path.islink(path)
    assert Path(path).read_bytes() == icon_bytes(mirelo, "qipaoyu")
    assert leftovers(folder) == ["2.ico"]
    if kind == "link_to_file":
        assert victim.read_bytes() == b"someone's data"
    elif kind == "link_to_folder":
        assert leftovers(victim) == []
    else:
        assert not victim.exists()


def test_planted_folder_makes_the_call_fail_without_a_part(mirelo, folder):
    folder.mkdir(mode=0o700)
    mirelo.exists = plant_at(folder / "5.ico", lambda path: (path.mkdir(), (path / "x").touch()))
    with pytest.raises(OSError):
        mirelo.make_icon(mirelo.monkey, 5)
    assert leftovers(folder) == ["5.ico"]
    assert leftovers(folder / "5.ico") == ["x"]


def test_locked_file_planted_at_the_path_stays_and_the_call_fails(mirelo, folder):
    folder.mkdir(mode=0o700)
    target = folder / "6.ico"
    locks = []

    def plant_locked(path):
        path.write_bytes(b"locked")
        locks.append(Immutable(path).__enter__())
    mirelo.exists = plant_at(target, plant_locked)
    try:
        with pytest.raises(PermissionError):
            mirelo.make_icon(mirelo.monkey_cp, 6)
    finally:
        for lock in locks:
            lock.__exit__()
    assert target.read_bytes() == b"locked"
    assert leftovers(folder) == ["6.ico"]


def test_names_taken_at_the_temporary_path_are_stepped_over(mirelo, folder, tmp_path):
    folder.mkdir(mode=0o700)
    victim = tmp_path / "victim"
    victim.write_bytes(b"someone's data")
    target = str(folder / "4.ico")
    for attempt in range(3):
        os.symlink(str(victim), "%s.%d-%d.part" % (target, os.getpid(), attempt))
    mirelo.make_icon(mirelo.tabbit, 4)
    assert victim.read_bytes() == b"someone's data"
    assert Path(target).read_bytes() == icon_bytes(mirelo, "tabbit")
    assert len(leftovers(folder)) == 4


# --- A link instead of the folder ----------------------------------------------------------

def test_folder_swapped_for_a_link_after_its_test_is_refused(mirelo, folder, tmp_path):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir(mode=0o700)
    folder.mkdir(mode=0o700)

    def swap(path):
        path.rmdir()
        path.symlink_to(elsewhere)
    mirelo.exists = plant_at(folder, swap)
    with pytest.raises(PermissionError):
        mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(elsewhere) == []


def test_folder_swapped_for_a_link_while_decoding_is_refused(mirelo, folder, tmp_path):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir(mode=0o700)
    folder.mkdir(mode=0o700)

    def decode_and_swap(text):
        folder.rmdir()
        folder.symlink_to(elsewhere)
        return base64.b64decode(text)
    mirelo.b64decode = decode_and_swap
    with pytest.raises(PermissionError):
        mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(elsewhere) == []


# --- A folder another user could reach ------------------------------------------------------

@pytest.mark.parametrize("mode, owner", [(0o777, None), (0o770, None), (0o701, None),
                                         (0o700, 65534), (0o1777, None)])
def test_folder_open_to_others_is_refused_in_a_request(mirelo, folder, mode, owner):
    folder.mkdir()
    folder.chmod(mode)
    if owner is not None:
        os.chown(str(folder), owner, owner)
    mirelo.depot.set("人语→猫语")
    assert mirelo.do_return("Hi") is None
    assert mirelo.out.get() == FAILURE_HINT
    assert leftovers(folder) == []
    assert stat.S_IMODE(folder.stat().st_mode) == mode, "the folder is left as it was"


def test_folder_that_turns_foreign_between_calls_is_refused(mirelo, folder):
    mirelo.make_icon(mirelo.huaji, 1)
    folder.chmod(0o755)
    with pytest.raises(PermissionError):
        mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(folder) == ["1.ico"]
