"""Icons: the icon texts of def_icon, the icon files that make_icon writes
into the icon folder, the folder's safety in a shared temporary directory,
and the window icon that run_icon sets."""

import base64
import binascii
import os
import re
import stat
import struct
import subprocess
import sys
import tkinter
from pathlib import Path

import pytest

import def_icon
from conftest import leftovers

ICON_NAMES = ["huaji", "qipaoyu", "gezi", "tabbit", "monkey", "monkey_cp"]
# Names that the module binds from its imports before it star-imports def_icon.
EARLIER_IMPORTS = {
    "Tk", "Label", "StringVar", "Text", "OptionMenu", "Button", "Entry", "END", "copy", "paste",
    "showinfo", "showerror", "b64decode", "environ", "makedirs", "remove", "listdir", "rmdir",
    "walk", "exists", "join", "isfile", "isdir", "randint",
}
REPO = Path(__file__).resolve().parent.parent


# --- A plain reader of .ico files, independent of the module's own ---------

def read_ico(data):
    """The pictures of an .ico file as dicts, checking its layout on the way."""
    reserved, kind, count = struct.unpack_from("<HHH", data)
    assert (reserved, kind) == (0, 1), "not an icon file"
    pictures = []
    for index in range(count):
        width, height, colours, _, planes, bits, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        entry = data[offset:offset + size]
        assert len(entry) == size, "entry reaches beyond the file"
        (header_size, dib_width, dib_height, dib_planes, dib_bits, compression,
         ) = struct.unpack_from("<IiiHHI", entry)
        side = dib_width
        colour_size = side * side * 4
        mask_stride = (side + 31) // 32 * 4
        pictures.append({
            "directory": (width, height, colours, planes, bits),
            "header": (header_size, dib_width, dib_height, dib_planes, dib_bits, compression),
            "size": size, "offset": offset, "side": side,
            "expected_size": header_size + colour_size + mask_stride * side,
            # top row first, (r, g, b, a)
            "pixels": [[tuple(entry[header_size + ((side - 1 - y) * side + x) * 4 + i]
                              for i in (2, 1, 0, 3)) for x in range(side)]
                       for y in range(side)],
            "mask": [[bool(entry[header_size + colour_size + (side - 1 - y) * mask_stride + x // 8]
                           & (0x80 >> (x % 8))) for x in range(side)] for y in range(side)],
        })
    return pictures


def decoded(name):
    return base64.b64decode(getattr(def_icon, name), validate=True)


# --- The icon data module ---------------------------------------------------

def test_icon_module_offers_the_six_texts_and_shutil_only():
    import shutil
    assert sorted(def_icon.__all__) == sorted(ICON_NAMES + ["shutil"])
    assert def_icon.shutil is shutil
    assert not EARLIER_IMPORTS & set(def_icon.__all__)
    for name in ICON_NAMES:
        text = getattr(def_icon, name)
        assert isinstance(text, str) and text.isascii()


@pytest.mark.parametrize("name", ICON_NAMES)
def test_each_text_is_an_ico_with_32_bit_pictures_at_three_sizes(name):
    data = decoded(name)
    pictures = read_ico(data)
    assert sorted(p["side"] for p in pictures) == [16, 32, 48]
    spans = sorted((p["offset"], p["offset"] + p["size"]) for p in pictures)
    assert spans[0][0] == 6 + 16 * len(pictures)
    assert all(a[1] <= b[0] for a, b in zip(spans, spans[1:])), "entries overlap"
    assert spans[-1][1] == len(data), "bytes after the last picture"
    for picture in pictures:
        side = picture["side"]
        assert picture["directory"] == (side, side, 0, 1, 32)
        assert picture["header"] == (40, side, 2 * side, 1, 32, 0)
        assert picture["size"] == picture["expected_size"], "AND mask missing or padded wrongly"


@pytest.mark.parametrize("name", ICON_NAMES)
def test_pictures_are_shaped_and_their_masks_match_the_alpha(name):
    for picture in read_ico(decoded(name)):
        pixels = [p for row in picture["pixels"] for p in row]
        transparent = [p[3] == 0 for p in pixels]
        assert [m for row in picture["mask"] for m in row] == transparent
        covered = sum(p[3] > 0 for p in pixels)
        solid = [p for p in pixels if p[3] >= 192]
        assert 0.25 * len(pixels) < covered < 0.95 * len(pixels), "a picture needs a shape"
        assert len(solid) > 0.1 * len(pixels), "a picture needs solid parts"
        assert len({p[:3] for p in solid}) > 3, "a picture needs colours"


def test_the_six_pictures_differ_from_each_other():
    big = {name: [p for row in max(read_ico(decoded(name)), key=lambda p: p["side"])["pixels"]
                  for p in row] for name in ICON_NAMES}
    for i, first in enumerate(ICON_NAMES):
        for second in ICON_NAMES[i + 1:]:
            different = sum(a != b for a, b in zip(big[first], big[second]))
            assert different > len(big[first]) // 5, (first, second)


def test_checked_in_icon_module_is_what_the_generator_makes(tmp_path):
    target = tmp_path / "def_icon.py"
    subprocess.run([sys.executable, str(REPO / "tools" / "icons" / "make_def_icon.py"),
                    "--output", str(target)], check=True, timeout=300)
    assert target.read_text() == (REPO / "src" / "icons" / "def_icon.py").read_text()


# --- make_icon and run_icon ---------------------------------------------------



class Recorder:
    """Records its calls in a shared log and passes them on."""

    def __init__(self, log, name, target):
        self.log, self.name, self.target = log, name, target

    def __call__(self, *args, **kwargs):
        self.log.append((self.name, args))
        return self.target(*args, **kwargs)


def test_first_call_creates_the_folder_and_the_exact_file(mirelo, folder):
    path = mirelo.make_icon(mirelo.huaji, 1)
    assert path == str(folder) + "/1.ico"
    assert Path(path).read_bytes() == base64.b64decode(mirelo.huaji)
    assert stat.S_IMODE(folder.stat().st_mode) == 0o700
    assert leftovers(folder) == ["1.ico"]


def test_existing_file_is_returned_as_it_is(mirelo, folder):
    first = mirelo.make_icon(mirelo.gezi, 3)
    second = mirelo.make_icon(num_icon=mirelo.tabbit, number=3)
    assert second == first
    assert Path(first).read_bytes() == base64.b64decode(mirelo.gezi)


def test_checks_file_then_folder_and_makes_folder_only_when_missing(mirelo, folder):
    log = []
    mirelo.exists = Recorder(log, "exists", os.path.exists)
    mirelo.makedirs = Recorder(log, "makedirs", os.makedirs)
    mirelo.make_icon(mirelo.monkey, 5)
    assert log == [("exists", (str(folder) + "/5.ico",)), ("exists", (str(folder),)),
                   ("makedirs", (str(folder),))]
    del log[:]
    mirelo.make_icon(mirelo.monkey_cp, 6)
    assert [entry[0] for entry in log] == ["exists", "exists"], "folder present: no makedirs"
    assert leftovers(folder) == ["5.ico", "6.ico"]


def test_removed_folder_is_made_again_by_the_next_call(mirelo, folder):
    mirelo.make_icon(mirelo.huaji, 1)
    mirelo.del_file(str(folder))
    assert not folder.exists()
    mirelo.make_icon(mirelo.qipaoyu, 2)
    assert leftovers(folder) == ["2.ico"]


def test_directory_at_the_file_path_counts_as_existing(mirelo, folder):
    (folder / "4.ico").mkdir(parents=True)
    assert mirelo.make_icon(mirelo.tabbit, 4) == str(folder) + "/4.ico"
    assert (folder / "4.ico").is_dir()
    with pytest.raises(tkinter.TclError):
        mirelo.run_icon(mirelo.tabbit, 4)


def test_number_enters_through_its_text_form(mirelo, folder):
    assert mirelo.make_icon(mirelo.huaji, "start") == str(folder) + "/start.ico"
    assert mirelo.make_icon(mirelo.huaji, (7,)) == str(folder) + "/7.ico"
    with pytest.raises(TypeError):
        mirelo.make_icon(mirelo.huaji, (7, 8))


def test_bad_icon_text_leaves_no_file_behind(mirelo, folder):
    with pytest.raises(binascii.Error):
        mirelo.make_icon("not*base64", 2)
    with pytest.raises(ValueError):
        mirelo.make_icon("bubbles \u6ce1", 2)
    assert leftovers(folder) == []
    mirelo.make_icon(mirelo.qipaoyu, 2)
    assert (folder / "2.ico").read_bytes() == base64.b64decode(mirelo.qipaoyu)


def test_failed_write_leaves_no_partial_file(mirelo, folder):
    mirelo.b64decode = lambda text: "text where bytes belong"
    with pytest.raises(TypeError):
        mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(folder) == []


def test_folder_that_cannot_be_made_fails_without_a_file(mirelo, folder):
    def refuse(path, **options):
        raise PermissionError(13, "no room", path)
    mirelo.makedirs = refuse
    with pytest.raises(PermissionError, match="no room"):
        mirelo.make_icon(mirelo.huaji, 1)
    assert not folder.exists()


@pytest.mark.parametrize("function", ["make_icon", "run_icon"])
@pytest.mark.parametrize("args, kwargs", [
    ((1, 2, 3), {}),
    (("x",), {}),
    ((), {"num_icon": "x"}),
    (("x", 1), {"number": 1}),
    (("x",), {"num_icon": "y", "number": 1}),
    (("x", 1), {"icon": 1}),
])
def test_wrong_calling_forms_raise_type_error_and_write_nothing(mirelo, folder, function, args,
                                                                kwargs):
    with pytest.raises(TypeError):
        getattr(mirelo, function)(*args, **kwargs)
    assert not folder.exists()


def test_run_icon_passes_both_values_on_and_returns_none(mirelo, folder):
    calls = []
    real = mirelo.make_icon

    def recording_make_icon(*args, **kwargs):
        calls.append((args, kwargs))
        return real(*args, **kwargs)

    mirelo.make_icon = recording_make_icon
    assert mirelo.run_icon(number=4, num_icon=mirelo.tabbit) is None
    assert mirelo.run_icon(mirelo.gezi, 3) is None
    assert calls == [((mirelo.tabbit, 4), {}), ((mirelo.gezi, 3), {})]


def test_unbound_names_fail_at_their_step(mirelo, folder):
    del mirelo.app
    with pytest.raises(NameError, match="'app'"):
        mirelo.run_icon(mirelo.huaji, 1)
    assert leftovers(folder) == ["1.ico"], "the file is written before app is needed"
    del mirelo.b64decode
    with pytest.raises(NameError, match="'b64decode'"):
        mirelo.make_icon(mirelo.gezi, 3)
    assert leftovers(folder) == ["1.ico"]
    del mirelo.program_temp
    with pytest.raises(NameError, match="'program_temp'"):
        mirelo.make_icon(mirelo.gezi, 3)


# --- The icon folder in a shared temporary directory --------------------------

posix_only = pytest.mark.skipif(os.name != "posix", reason="POSIX folder rules")


@posix_only
def test_folder_is_private_even_with_an_open_umask(mirelo, folder):
    old = os.umask(0)
    try:
        mirelo.make_icon(mirelo.huaji, 1)
    finally:
        os.umask(old)
    assert stat.S_IMODE(folder.stat().st_mode) == 0o700


@posix_only
@pytest.mark.parametrize("plant", ["link", "file", "open_mode", "foreign_owner"])
def test_unsafe_folder_is_refused_and_nothing_is_written(mirelo, folder, tmp_path, plant):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir(mode=0o700)
    if plant == "link":
        folder.symlink_to(elsewhere)
    elif plant == "file":
        folder.write_bytes(b"not a folder")
    else:
        folder.mkdir(mode=0o700)
        if plant == "open_mode":
            folder.chmod(0o755)
        else:
            os.chown(str(folder), 65534, 65534)
    with pytest.raises(PermissionError) as caught:
        mirelo.make_icon(mirelo.huaji, 1)
    assert caught.value.filename == str(folder)
    assert "icon folder" in str(caught.value)
    assert leftovers(elsewhere) == []
    if folder.is_dir() and not folder.is_symlink():
        assert leftovers(folder) == []
    elif plant == "file":
        assert folder.read_bytes() == b"not a folder"


@posix_only
def test_link_planted_at_an_icon_path_is_never_written_through(mirelo, folder, tmp_path):
    folder.mkdir(mode=0o700)
    victim = tmp_path / "victim"
    (folder / "3.ico").symlink_to(victim)
    path = mirelo.make_icon(mirelo.gezi, 3)
    assert not victim.exists()
    assert not os.path.islink(path)
    assert Path(path).read_bytes() == base64.b64decode(mirelo.gezi)

    kept = tmp_path / "kept"
    kept.write_bytes(b"someone's data")
    (folder / "4.ico").symlink_to(kept)
    mirelo.make_icon(mirelo.tabbit, 4)
    assert kept.read_bytes() == b"someone's data"


# --- The window icon -----------------------------------------------------------

def wrapper_window(window):
    """The X window that carries the toplevel's properties: without a window
    manager, the parent of what `wm frame` reports."""
    window.update()
    listing = subprocess.run(["xwininfo", "-children", "-id", window.wm_frame()],
                             capture_output=True, text=True, check=True).stdout
    return re.search(r"Parent window id: (0x[0-9a-f]+)", listing).group(1)


def window_icon(window):
    """The _NET_WM_ICON property as (width, height, ARGB values)."""
    output = subprocess.run(
        ["xprop", "-id", wrapper_window(window), "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON"],
        capture_output=True, text=True, check=True).stdout
    values = [int(v) for v in output.split("=", 1)[1].replace(",", " ").split()]
    return values[0], values[1], values[2:]


def largest_picture_argb(name):
    picture = max(read_ico(decoded(name)), key=lambda p: p["side"])
    return [a << 24 | r << 16 | g << 8 | b for row in picture["pixels"] for r, g, b, a in row]


@posix_only
def test_window_shows_the_largest_picture_of_each_icon(mirelo, folder):
    seen = []
    for name, number in [("tabbit", 4), ("gezi", 3), ("monkey_cp", 6)]:
        mirelo.run_icon(getattr(mirelo, name), number)
        width, height, pixels = window_icon(mirelo.app)
        assert (width, height) == (48, 48)
        assert pixels == largest_picture_argb(name), name
        seen.append(pixels)
    assert seen[0] != seen[1] != seen[2]


@posix_only
def test_icon_goes_to_the_window_bound_to_app_now(mirelo, folder):
    mirelo.run_icon(mirelo.huaji, 1)
    other = tkinter.Toplevel(mirelo.app)
    try:
        mirelo.app = other
        mirelo.run_icon(mirelo.monkey, 5)
        assert window_icon(other)[2] == largest_picture_argb("monkey")
    finally:
        other.destroy()


@posix_only
@pytest.mark.parametrize("content", [b"", b"plain text\n", b"\0\0\1\0\1\0" + b"\xff" * 40])
def test_file_that_is_no_icon_fails_like_tk(mirelo, folder, content):
    folder.mkdir(mode=0o700)
    (folder / "2.ico").write_bytes(content)
    with pytest.raises(tkinter.TclError):
        mirelo.run_icon(mirelo.qipaoyu, 2)
    assert (folder / "2.ico").read_bytes() == content
