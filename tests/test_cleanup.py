"""Clean-up: del_file empties a folder's top level, removes each subfolder
whole (ignoring errors), then removes every folder left empty, using the
module's late-bound names."""

import errno
import os
import shutil
import types

import pytest


def tree(root):
    """Every path below `root`, relative, folders marked with a slash."""
    found = set()
    for folder, dirs, files in os.walk(str(root)):
        rel = os.path.relpath(folder, str(root))
        for name in dirs:
            found.add(os.path.normpath(os.path.join(rel, name)) + "/")
        for name in files:
            found.add(os.path.normpath(os.path.join(rel, name)))
    return found


def make_files(folder, *names):
    for name in names:
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"icon " + name.encode())


@pytest.fixture
def folder(tmp_path):
    path = tmp_path / "Quenzariv2.2"
    path.mkdir()
    return path


# --- What a call removes -------------------------------------------------------

def test_folder_of_icon_files_is_removed_entirely(mirelo, folder):
    make_files(folder, *("%d.ico" % n for n in range(1, 7)))
    assert mirelo.del_file(str(folder)) is None
    assert not folder.exists()


def test_empty_folder_is_removed(mirelo, folder):
    mirelo.del_file(str(folder))
    assert not folder.exists()


def test_subfolders_go_whole_then_the_folder(mirelo, folder):
    make_files(folder, "1.ico", "sub/a.ico", "sub/deeper/b.ico", "sub/empty/.keep")
    (folder / "bare").mkdir()
    mirelo.del_file(str(folder))
    assert not folder.exists()


def test_what_icon_files_the_module_wrote_are_cleared(mirelo, tmp_path):
    mirelo.program_temp = str(tmp_path / "icons")
    mirelo.make_icon(mirelo.huaji, 1)
    mirelo.make_icon(mirelo.gezi, 3)
    mirelo.del_file(mirelo.program_temp)
    assert not os.path.exists(mirelo.program_temp)


def test_missing_folder_fails_at_the_listing(mirelo, tmp_path):
    with pytest.raises(FileNotFoundError):
        mirelo.del_file(str(tmp_path / "absent"))
    assert os.listdir(str(tmp_path)) == []


def test_a_file_instead_of_a_folder_fails_and_stays(mirelo, tmp_path):
    path = tmp_path / "plain.ico"
    path.write_bytes(b"x")
    with pytest.raises(NotADirectoryError):
        mirelo.del_file(str(path))
    assert path.read_bytes() == b"x"


def test_entries_that_are_neither_file_nor_folder_stay_with_the_folder(mirelo, folder):
    make_files(folder, "1.ico", "sub/a.ico")
    os.symlink(str(folder / "nowhere"), str(folder / "dangling"))
    os.mkfifo(str(folder / "pipe"))
    mirelo.del_file(str(folder))
    assert tree(folder) == {"dangling", "pipe"}


@pytest.mark.parametrize("call", [
    lambda del_file, path: del_file(),
    lambda del_file, path: del_file(path, path),
    lambda del_file, path: del_file(filePath=path),
    lambda del_file, path: del_file(path, filePath=path),
])
def test_wrong_calling_forms_remove_nothing(mirelo, folder, call):
    make_files(folder, "1.ico")
    with pytest.raises(TypeError):
        call(mirelo.del_file, str(folder))
    assert tree(folder) == {"1.ico"}


# --- Failures part-way ------------------------------------------------------------

def test_file_that_cannot_be_removed_stops_the_call_there(mirelo, folder):
    make_files(folder, "1.ico", "2.ico", "3.ico", "4.ico", "5.ico")
    order = os.listdir(str(folder))
    locked = order[2]
    rmdir_calls = []

    def remove(path):
        if os.path.basename(path) == locked:
            raise PermissionError(errno.EACCES, "in use", path)
        os.remove(path)

    mirelo.remove = remove
    mirelo.rmdir = rmdir_calls.append
    with pytest.raises(PermissionError, match="in use"):
        mirelo.del_file(str(folder))
    assert tree(folder) == set(order[2:])
    assert rmdir_calls == [], "the second pass must not run"


def test_partly_removable_subtree_is_no_error(mirelo, folder, monkeypatch):
    make_files(folder, "1.ico", "sub/a.ico", "sub/deep/locked.ico", "sub/deep/b.ico",
               "other/c.ico")
    real_unlink = os.unlink

    def unlink(path, *args, **kwargs):
        if os.path.basename(os.fsdecode(path)) == "locked.ico":
            raise PermissionError(errno.EPERM, "locked", path)
        return real_unlink(path, *args, **kwargs)

    monkeypatch.setattr(os, "unlink", unlink)
    mirelo.del_file(str(folder))
    assert tree(folder) == {"sub/", "sub/deep/", "sub/deep/locked.ico"}


def test_second_pass_removes_only_the_folders_left_empty(mirelo, folder):
    make_files(folder, "1.ico", "keep/deep/kept.ico")
    (folder / "keep" / "hollow" / "hollower").mkdir(parents=True)

    # A subtree removal that does nothing leaves the walk to tidy up.
    mirelo.shutil = types.SimpleNamespace(rmtree=lambda path, ignore_errors: None)
    mirelo.del_file(str(folder))
    assert tree(folder) == {"keep/", "keep/deep/", "keep/deep/kept.ico", "keep/hollow/"}


def test_folder_that_cannot_be_removed_stops_the_walk(mirelo, folder):
    make_files(folder, "1.ico")

    def rmdir(path):
        raise OSError(errno.EBUSY, "busy", path)

    mirelo.rmdir = rmdir
    with pytest.raises(OSError, match="busy"):
        mirelo.del_file(str(folder))
    assert tree(folder) == set()
    assert folder.is_dir()


# --- The names it uses --------------------------------------------------------------

def test_subtrees_go_through_shutil_rmtree_ignoring_errors(mirelo, folder):
    make_files(folder, "sub/a.ico", "1.ico")
    calls = []

    def rmtree(*args, **kwargs):
        calls.append((args, kwargs))
        shutil.rmtree(*args, **kwargs)

    mirelo.shutil = types.SimpleNamespace(rmtree=rmtree)
    mirelo.del_file(str(folder))
    assert calls == [((str(folder / "sub"), True), {})]
    assert not folder.exists()


def test_without_shutil_files_are_cleared_and_a_subfolder_fails(mirelo, folder):
    make_files(folder, "1.ico", "2.ico")
    del mirelo.shutil
    mirelo.del_file(str(folder))
    assert not folder.exists()

    folder.mkdir()
    make_files(folder, "1.ico", "sub/a.ico", "3.ico")
    order = os.listdir(str(folder))
    with pytest.raises(NameError, match="'shutil'"):
        mirelo.del_file(str(folder))
    at = order.index("sub")
    assert not set(order[:at]) & tree(folder)
    assert set(order[at + 1:]) | {"sub/", "sub/a.ico"} <= tree(folder)


def test_each_step_uses_the_names_bound_at_the_moment(mirelo, folder):
    make_files(folder, "1.ico", "sub/a.ico")
    log = []

    def logged(name, function):
        def call(*args):
            log.append(name)
            return function(*args)
        return call

    for name in ("listdir", "join", "isfile", "isdir", "remove", "rmdir", "walk"):
        setattr(mirelo, name, logged(name, getattr(mirelo, name)))
    mirelo.del_file(str(folder))
    assert not folder.exists()
    first_pass = log[:log.index("walk")]
    assert first_pass.count("listdir") == 1 and first_pass.count("join") == 2
    assert first_pass.count("remove") == 1
    assert log[log.index("walk"):] == ["walk", "listdir", "rmdir"]


def test_walk_steps_must_unpack_into_three(mirelo, folder):
    mirelo.walk = lambda path: iter([(str(folder), [])])
    with pytest.raises(ValueError, match="not enough values to unpack"):
        mirelo.del_file(str(folder))
    mirelo.walk = lambda path: iter([(str(folder), [], [], [])])
    with pytest.raises(ValueError, match="too many values to unpack"):
        mirelo.del_file(str(folder))
    assert folder.is_dir()
