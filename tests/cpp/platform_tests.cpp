// Unit tests of the pure platform rules (both layers, on any machine) and of
// the icon reader that shows .ico files where Tk cannot.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "checks.hpp"
#include "icons/ico_picture.hpp"
#include "platform/files.hpp"
#include "platform/mapped_view.hpp"
#include "platform/rules.hpp"
#include "platform/system_io.hpp"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using checks::check;

void check_text(const std::optional<std::string>& got, const std::string& want, const char* what) {
    if (!got || *got != want) {
        std::printf("FAILED: %s\n  want: %s\n  got:  %s\n", what, want.c_str(),
                    got ? got->c_str() : "(nothing)");
        checks::failed();
    }
}

platform::EnvironmentLookup environment(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    };
}

using platform::Layer;

void windows_folder_is_temp_with_the_name_appended() {
    check_text(platform::program_temp_path(Layer::windows,
                                           environment({{"Temp", "C:\\Users\\ann\\Temp"}}), 7),
               "C:\\Users\\ann\\Temp\\Quenzariv2.2", "Windows folder");
    check_text(platform::program_temp_path(Layer::windows, environment({{"Temp", "D:\\t\\"}}), 7),
               "D:\\t\\\\Quenzariv2.2", "a trailing backslash is kept: plain concatenation");
    check_text(platform::program_temp_path(Layer::windows, environment({{"Temp", ""}}), 7),
               "\\Quenzariv2.2", "an empty Temp is still a value");
    check(!platform::program_temp_path(Layer::windows, environment({{"TMP", "C:\\x"}}), 7),
          "Windows without Temp has no folder");
    check_text(platform::program_temp_path(
                   Layer::windows, environment({{"Temp", "C:\\T"}, {"XDG_RUNTIME_DIR", "/r"}}), 7),
               "C:\\T\\Quenzariv2.2", "Windows ignores the POSIX variables");
}

void posix_folder_prefers_the_runtime_directory() {
    check_text(platform::program_temp_path(Layer::posix,
                                           environment({{"XDG_RUNTIME_DIR", "/run/user/1000"},
                                                        {"TMPDIR", "/var/tmp"},
                                                        {"Temp", "C:\\T"}}),
                                           1000),
               "/run/user/1000/Quenzariv2.2", "runtime directory wins");
    check_text(
        platform::program_temp_path(
            Layer::posix, environment({{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", "/var/tmp"}}), 1000),
        "/var/tmp/Quenzariv2.2-1000", "an empty runtime directory counts as unset");
    check_text(platform::program_temp_path(Layer::posix, environment({{"TMPDIR", "/scratch"}}), 42),
               "/scratch/Quenzariv2.2-42", "TMPDIR with the user id");
    check_text(platform::program_temp_path(Layer::posix, environment({{"TMPDIR", ""}}), 42),
               "/tmp/Quenzariv2.2-42", "an empty TMPDIR falls back to /tmp");
    check_text(platform::program_temp_path(Layer::posix, environment({}), 0), "/tmp/Quenzariv2.2-0",
               "nothing set: /tmp");
}

void icon_paths_join_by_concatenation() {
    std::string folder =
        *platform::program_temp_path(Layer::windows, environment({{"Temp", "C:\\Temp"}}), 0);
    check_text(folder + platform::icon_file_suffix(Layer::windows, "3"),
               "C:\\Temp\\Quenzariv2.2\\3.ico", "Windows icon path");
    check_text(platform::icon_file_suffix(Layer::posix, "12"), "/12.ico", "POSIX icon file name");
    check_text(platform::icon_file_suffix(Layer::windows, "(1, 2)"), "\\(1, 2).ico",
               "the number text is used as it is");
}

// The rules as this build applies them: the Windows layer in a Windows
// program, with the process's own environment (where Windows finds Temp
// whatever the case of its name).
void the_native_layer_is_this_systems() {
    const platform::EnvironmentLookup process = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> folder =
        platform::program_temp_path(platform::native_layer, process, platform::user_id());
#ifdef _WIN32
    check(platform::native_layer == Layer::windows, "a Windows build takes the Windows layer");
    check(
        platform::kNamesAreText && platform::kTkShowsIcoFiles && !platform::kIconFolderMayBeShared,
        "Windows: names are text, Tk shows .ico files, the temporary folder is private");
    const char* const temp = std::getenv("TEMP");
    check(temp != nullptr, "Windows sets TEMP");
    if (temp) check_text(folder, std::string(temp) + "\\Quenzariv2.2", "the folder in TEMP");
    check_text(*folder + platform::icon_file_suffix(platform::native_layer, "5"),
               std::string(temp ? temp : "") + "\\Quenzariv2.2\\5.ico", "the icon file in it");
#else
    check(platform::native_layer == Layer::posix, "a POSIX build takes the POSIX layer");
    check(
        !platform::kNamesAreText && !platform::kTkShowsIcoFiles && platform::kIconFolderMayBeShared,
        "POSIX: names are bytes, icons go through photos, the folder may be shared");
    check(folder && folder->find("/Quenzariv2.2") != std::string::npos,
          "the folder lies under a temporary directory");
    check(platform::icon_file_suffix(platform::native_layer, "5") == "/5.ico",
          "the icon file in it");
#endif
}

void folders_open_to_others_are_refused() {
    using platform::FolderStatus;
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0700}, 5) == nullptr,
          "a private directory of ours is fine");
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0500}, 5) == nullptr,
          "fewer rights for ourselves are our own business");
    check(platform::unsafe_folder_reason(FolderStatus{true, false, 5, 0700}, 5) != nullptr,
          "a link is refused");
    check(platform::unsafe_folder_reason(FolderStatus{false, false, 5, 0600}, 5) != nullptr,
          "a file is refused");
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 6, 0700}, 5) != nullptr,
          "another user's folder is refused");
    for (unsigned long bit : {0040ul, 0020ul, 0010ul, 0004ul, 0002ul, 0001ul})
        check(
            platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0700 | bit}, 5) != nullptr,
            "any right for group or others is refused");
}

// ---- icon reading -------------------------------------------------------

using icons::Bytes;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, unsigned long value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes info_header(int width, int height, unsigned bits, unsigned long colours_used = 0) {
    Bytes out;
    put32(out, 40);
    put32(out, static_cast<unsigned long>(width));
    put32(out, static_cast<unsigned long>(height) * 2);
    put16(out, 1);
    put16(out, bits);
    for (int i = 0; i < 3; ++i) put32(out, 0);  // compression, image size, x resolution
    put32(out, 0);                              // y resolution
    put32(out, colours_used);
    put32(out, 0);
    return out;
}

Bytes ico_of(const std::vector<std::pair<int, Bytes>>& entries) {
    Bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<unsigned>(entries.size()));
    unsigned long offset = 6 + 16 * entries.size();
    for (const auto& [side, data] : entries) {
        out.push_back(static_cast<std::uint8_t>(side % 256));
        out.push_back(static_cast<std::uint8_t>(side % 256));
        out.push_back(0);
        out.push_back(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, data.size());
        put32(out, offset);
        offset += data.size();
    }
    for (const auto& entry : entries)
        out.insert(out.end(), entry.second.begin(), entry.second.end());
    return out;
}

// A 2 x 2 picture, bottom row first in the file: the top row is red (opaque)
// and half-transparent green, the bottom row blue and fully transparent.
Bytes dib_32bit(bool with_mask = true) {
    Bytes out = info_header(2, 2, 32);
    const std::uint8_t bottom[] = {255, 0, 0, 255, 9, 9, 9, 0};
    const std::uint8_t top[] = {0, 0, 255, 255, 0, 255, 0, 128};
    out.insert(out.end(), bottom, bottom + 8);
    out.insert(out.end(), top, top + 8);
    if (with_mask) {
        for (int row = 0; row < 2; ++row) put32(out, 0);
    }
    return out;
}

bool pixel_is(const icons::Picture& p, unsigned x, unsigned y, std::uint8_t r, std::uint8_t g,
              std::uint8_t b, std::uint8_t a) {
    const std::uint8_t* px = p.rgba.data() + (y * p.width + x) * 4;
    return px[0] == r && px[1] == g && px[2] == b && px[3] == a;
}

void dib_pictures_are_decoded_top_down() {
    Bytes dib = dib_32bit();
    auto picture = icons::decode_dib(dib.data(), dib.size());
    check(picture && picture->width == 2 && picture->height == 2, "32-bit DIB size");
    if (!picture) return;
    check(pixel_is(*picture, 0, 0, 255, 0, 0, 255), "32-bit top left is opaque red");
    check(pixel_is(*picture, 1, 0, 0, 255, 0, 128), "32-bit alpha is kept");
    check(pixel_is(*picture, 0, 1, 0, 0, 255, 255),
          "32-bit bottom row comes from the file's first");
    check(pixel_is(*picture, 1, 1, 9, 9, 9, 0), "32-bit transparent pixel");

    Bytes no_mask = dib_32bit(false);
    check(bool(icons::decode_dib(no_mask.data(), no_mask.size())),
          "a 32-bit picture may come without its mask");
}

void pictures_without_alpha_use_the_mask() {
    // 1-bit, 3 x 2, palette black and white: top row W B W, bottom row B W B;
    // the mask hides the middle of the top row.
    Bytes dib = info_header(3, 2, 1);
    put32(dib, 0x000000);
    put32(dib, 0xffffff);
    const std::uint8_t rows[] = {0x40, 0, 0, 0, 0xa0, 0, 0, 0};  // bottom row first
    const std::uint8_t mask[] = {0x00, 0, 0, 0, 0x40, 0, 0, 0};
    dib.insert(dib.end(), rows, rows + 8);
    dib.insert(dib.end(), mask, mask + 8);
    auto picture = icons::decode_dib(dib.data(), dib.size());
    check(bool(picture), "1-bit DIB decodes");
    if (picture) {
        check(pixel_is(*picture, 0, 0, 255, 255, 255, 255) &&
                  pixel_is(*picture, 1, 0, 0, 0, 0, 0) &&
                  pixel_is(*picture, 2, 0, 255, 255, 255, 255),
              "1-bit top row with its mask");
        check(
            pixel_is(*picture, 0, 1, 0, 0, 0, 255) && pixel_is(*picture, 1, 1, 255, 255, 255, 255),
            "1-bit bottom row");
    }

    // 24-bit, 1 x 1, masked out; and 32-bit with every alpha zero, which
    // old icons use together with a mask.
    Bytes rgb = info_header(1, 1, 24);
    const std::uint8_t rgb_rest[] = {10, 20, 30, 0, 0x80, 0, 0, 0};
    rgb.insert(rgb.end(), rgb_rest, rgb_rest + 8);
    auto masked = icons::decode_dib(rgb.data(), rgb.size());
    check(masked && pixel_is(*masked, 0, 0, 30, 20, 10, 0), "24-bit pixel hidden by the mask");

    Bytes flat = info_header(1, 1, 32);
    const std::uint8_t flat_rest[] = {10, 20, 30, 0, 0x00, 0, 0, 0};
    flat.insert(flat.end(), flat_rest, flat_rest + 8);
    auto opaque = icons::decode_dib(flat.data(), flat.size());
    check(opaque && pixel_is(*opaque, 0, 0, 30, 20, 10, 255),
          "32-bit without alpha values takes the mask");

    // 4-bit and 8-bit palettes: the high nibble is the left pixel.
    Bytes nibbles = info_header(2, 1, 4, 3);
    put32(nibbles, 0x000000);
    put32(nibbles, 0x0000ff);
    put32(nibbles, 0x00ff00);
    const std::uint8_t nibble_rest[] = {0x21, 0, 0, 0, 0, 0, 0, 0};
    nibbles.insert(nibbles.end(), nibble_rest, nibble_rest + 8);
    auto four = icons::decode_dib(nibbles.data(), nibbles.size());
    check(four && pixel_is(*four, 0, 0, 0, 255, 0, 255) && pixel_is(*four, 1, 0, 0, 0, 255, 255),
          "4-bit palette order");
    nibbles[40 + 12] = 0x23;  // index 3 lies outside the three colours given
    check(!icons::decode_dib(nibbles.data(), nibbles.size()), "palette index out of range");
}

void broken_icons_are_refused() {
    Bytes good = ico_of({{2, dib_32bit()}});
    check(bool(icons::largest_picture_png(good)), "the well-formed icon is read");
    for (std::size_t size = 0; size < good.size(); ++size) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        if (icons::largest_picture_png(cut)) {
            std::printf("FAILED: an icon cut to %zu bytes was read\n", size);
            checks::failed();
        }
    }
    Bytes cursor = good;
    cursor[2] = 2;
    check(!icons::largest_picture_png(cursor), "a cursor file is no icon");
    Bytes empty_directory = good;
    empty_directory[4] = 0;
    check(!icons::largest_picture_png(empty_directory), "an icon without pictures");
    Bytes far_offset = good;
    far_offset[6 + 12 + 3] = 0x7f;
    check(!icons::largest_picture_png(far_offset), "a picture beyond the end of the file");
    Bytes huge = ico_of({{0, info_header(70000, 70000, 32)}});
    check(!icons::largest_picture_png(huge), "absurd picture sizes");
    Bytes compressed = dib_32bit();
    compressed[16] = 1;
    check(!icons::decode_dib(compressed.data(), compressed.size()), "compressed DIBs");
    Bytes odd_height = dib_32bit();
    odd_height[8] = 3;
    check(!icons::decode_dib(odd_height.data(), odd_height.size()), "odd doubled height");
    const char text[] = "plain text, not an icon at all";
    check(!icons::largest_picture_png(Bytes(text, text + sizeof text)), "text");
}

void the_largest_picture_is_chosen() {
    const std::uint8_t png_start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3};
    Bytes png(png_start, png_start + sizeof png_start);
    auto chosen = icons::largest_picture_png(ico_of({{2, dib_32bit()}, {0, png}}));
    check(chosen && *chosen == png, "a 256-pixel PNG entry is passed on as stored");
    chosen = icons::largest_picture_png(ico_of({{16, png}, {2, dib_32bit()}}));
    check(chosen && *chosen == png, "the biggest of the directory wins");
    chosen = icons::largest_picture_png(ico_of({{1, png}, {2, dib_32bit()}}));
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G'};
    check(chosen && *chosen != png && std::memcmp(chosen->data(), signature, 4) == 0,
          "a DIB entry becomes a PNG");
}

void base64_matches_the_standard_vectors() {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        Bytes bytes(plain, plain + std::strlen(plain));
        check(icons::base64_text(bytes) == encoded, "base64 vector");
    }
    Bytes high = {0xfb, 0xff, 0xbf};
    check(icons::base64_text(high) == "+/+/", "base64 uses + and /");
}

}  // namespace

// ---- files and views of files -----------------------------------------

// The few calls on descriptors the tests make, on either system.
#ifdef _WIN32
long long seek(int fd, long long offset, int whence) {
    return _lseeki64(fd, offset, whence);
}
bool write_bytes(int fd, const std::string& bytes) {
    return _write(fd, bytes.data(), unsigned(bytes.size())) == int(bytes.size());
}
bool make_pipe(int ends[2]) {
    return _pipe(ends, 4096, _O_BINARY) == 0;
}
void close_fd(int fd) {
    _close(fd);
}
#else
long long seek(int fd, long long offset, int whence) {
    return lseek(fd, off_t(offset), whence);
}
bool write_bytes(int fd, const std::string& bytes) {
    return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}
bool make_pipe(int ends[2]) {
    return pipe(ends) == 0;
}
void close_fd(int fd) {
    close(fd);
}
#endif

std::uint8_t pattern_at(std::size_t i) {
    return std::uint8_t((i * 2654435761u) >> 13) | 1;
}

// A view shows the file's bytes from any offset, whatever the system's page
// size (4 KB) or view granularity (64 KB on Windows), and the rest of a file
// is counted from where its descriptor stands; pipes have no rest to see.
void files_are_mapped_from_any_offset() {
    std::FILE* const file = std::tmpfile();
    check(file != nullptr, "a temporary file");
    if (!file) return;
    const int fd = fileno(file);
    std::string bytes;
    for (std::size_t i = 0; i < 3 * 65536 + 100; ++i) bytes += char(pattern_at(i));
    check(write_bytes(fd, bytes), "written");
    seek(fd, 70000, SEEK_SET);
    std::uint64_t offset = 0, remaining = 0;
    check(platform::MappedView::rest_of_file(fd, offset, remaining) && offset == 70000 &&
              remaining == bytes.size() - 70000,
          "the rest of a file");
    for (std::uint64_t from : {0, 1, 4095, 4096, 9000, 65535, 65536, 65537, 131072 + 5}) {
        for (std::size_t length : {bytes.size() - std::size_t(from), std::size_t(1),
                                   std::size_t(65536 - from % 65536 + 3)}) {
            platform::MappedView view;
            check(view.map(fd, from, length) && view.size() == length &&
                      std::memcmp(view.data(), bytes.data() + from, length) == 0,
                  "a view holds the file's bytes", from * 1000000 + length);
            platform::MappedView moved = std::move(view);
            check(view.data() == nullptr && moved.size() == length, "a view moves", from);
            platform::MappedView assigned;
            assigned = std::move(moved);
            check(moved.data() == nullptr && assigned.size() == length &&
                      assigned.data()[0] == pattern_at(std::size_t(from)),
                  "a view is assigned", from);
        }
    }
    platform::MappedView::move_to(fd, 7);
    check(seek(fd, 0, SEEK_CUR) == 7, "the descriptor moves");
    check(platform::MappedView::rest_of_file(fd, offset, remaining) && offset == 7 &&
              remaining == bytes.size() - 7,
          "the rest from where it moved");
    std::fclose(file);
    int ends[2];
    check(make_pipe(ends), "a pipe");
    check(!platform::MappedView::rest_of_file(ends[0], offset, remaining), "no rest in a pipe");
    close_fd(ends[0]);
    close_fd(ends[1]);
}

// Names beyond ASCII, a character outside the BMP among them, reach the
// files they name: on Windows through their UTF-16 form, elsewhere as their
// bytes. The file is made here by the system's own call for that name.
void names_beyond_ascii_reach_their_files() {
    const std::string pid = std::to_string(platform::process_id());
    const std::string from = u8"\u732b\u8bed \u00fc\U0001F600-" + pid + ".txt";
    const std::string to = u8"\u9e3d\u8bed-" + pid + ".txt";
#ifdef _WIN32
    const std::wstring wide_pid(pid.begin(), pid.end());
    std::FILE* const file =
        _wfopen((L"\u732b\u8bed \u00fc\U0001F600-" + wide_pid + L".txt").c_str(), L"wb");
#else
    std::FILE* const file = std::fopen(from.c_str(), "wb");
#endif
    check(file != nullptr, "a file with a name beyond ASCII");
    if (!file) return;
    std::fputs("meow\r\n", file);
    std::fclose(file);
    const std::vector<std::uint8_t> meow = {'m', 'e', 'o', 'w', '\r', '\n'};
    check(platform::read_small_file(from, 100) == meow, "read by its UTF-8 name");
    check(!platform::read_small_file(from, 5), "more than the limit is not read");
    std::string reason;
    const int fd = platform::system_io::open_for_reading(from, reason);
    unsigned char start[4] = {};
    check(fd >= 0 && platform::system_io::read_some(fd, start, 4, reason) == 4 &&
              std::memcmp(start, "meow", 4) == 0,
          "opened for reading by its UTF-8 name");
    if (fd >= 0) platform::system_io::close_file(fd);
    platform::SystemError error;
    check(platform::replace_file(from, to, error), "renamed");
    check(platform::read_small_file(to, 100) == meow && !platform::read_small_file(from, 100),
          "the file moved to the new name");
    const std::optional<platform::FolderStatus> status = platform::folder_status(to, error);
    check(status && !status->is_directory && !status->is_link, "a file is no folder");
    const std::optional<platform::FolderStatus> here = platform::folder_status(".", error);
    check(here && here->is_directory, "the working folder is one");
    check(!platform::folder_status(from, error) && !error.message.empty(),
          "a name that is gone has no status, and says why");
    platform::discard_file(to);
    check(!platform::read_small_file(to, 100), "discarded");
}

#ifdef _WIN32

const char kFaultChild[] = "--fault-child";
const char kArgumentsChild[] = "--arguments-child";

// Runs this program again with the command line's `arguments`; its exit
// status, and in `said` what it wrote to standard error.
DWORD run_child(const std::wstring& arguments, std::string& said) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return 0xFFFFFFFF;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = write_end;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(self, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &child);
    CloseHandle(write_end);
    char buffer[256];
    DWORD got = 0;
    while (started && ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got != 0)
        said.append(buffer, got);
    CloseHandle(read_end);
    if (!started) return 0xFFFFFFFF;
    DWORD status = 0xFFFFFFFF;
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return status;
}

// In the child: sees a file and then meets the exception named, as a read
// of the view would. An exception that the program does not take ends it
// with status 7 here, without the system's crash report.
int fault_child(const char* which) {
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
        TerminateProcess(GetCurrentProcess(), 7);
        return EXCEPTION_CONTINUE_SEARCH;
    });
    platform::MappedView::exit_on_fault("the file shrank\n", 42);
    std::FILE* const file = std::tmpfile();
    if (!file || !write_bytes(fileno(file), std::string(100, 'x'))) return 1;
    platform::MappedView view;
    if (!view.map(fileno(file), 0, 100)) return 2;
    const ULONG_PTR details[3] = {0, ULONG_PTR(view.data()), ULONG_PTR(0xC000000E)};
    const DWORD code =
        std::strcmp(which, "in-page") == 0 ? EXCEPTION_IN_PAGE_ERROR : EXCEPTION_ACCESS_VIOLATION;
    RaiseException(code, 0, 3, details);
    return 3;
}

// Windows will not cut a file that has a view; a view that cannot be read
// (an in-page error) ends the process with the message and status given,
// while other faults are left to the usual handling.
void a_file_that_shrinks_ends_the_process_with_a_message() {
    std::FILE* const file = std::tmpfile();
    check(file != nullptr, "a temporary file");
    if (!file) return;
    const int fd = fileno(file);
    check(write_bytes(fd, std::string(3 * 65536, 'x')), "written");
    {
        platform::MappedView view;
        check(view.map(fd, 0, 3 * 65536), "mapped");
        check(_chsize_s(fd, 0) != 0, "a file with a view cannot be cut");
        check(view.data()[3 * 65536 - 1] == 'x', "the view still reads");
    }
    check(_chsize_s(fd, 0) == 0, "without the view it can");
    std::fclose(file);

    std::string said;
    check(run_child(L"--fault-child in-page", said) == 42, "an in-page error: the given status");
    check(said == "the file shrank\n", "an in-page error: the given message");
    said.clear();
    check(run_child(L"--fault-child access", said) == 7 && said.empty(),
          "an access violation is not taken for a shrinking file");
}

// In the child: whether the arguments came through as UTF-8, a lone
// surrogate as its own three bytes.
int arguments_child(int argc, char** argv) {
    const std::vector<std::string> arguments = platform::system_io::utf8_arguments(argc, argv);
    return arguments.size() == 4 && arguments[1] == kArgumentsChild &&
                   arguments[2] == "a\xED\xA0\x80z" && arguments[3] == u8"\u732b \U0001F600"
               ? 0
               : 5;
}

void arguments_arrive_as_utf8() {
    std::string said;
    check(run_child(L"--arguments-child a\xD800z \"\u732b \U0001F600\"", said) == 0,
          "arguments beyond ASCII, and a lone surrogate, arrive as UTF-8");
}

#else

// A file cut short under its view: the process says so and ends with the
// status given, rather than dying of the fault.
void a_file_that_shrinks_ends_the_process_with_a_message() {
    std::FILE* const file = std::tmpfile();
    check(file != nullptr, "a temporary file");
    if (!file) return;
    const int fd = fileno(file);
    const std::string bytes(3 * 4096, 'x');
    check(write_bytes(fd, bytes), "written");
    int message[2];
    check(pipe(message) == 0, "a pipe for the message");
    const pid_t child = fork();
    if (child == 0) {
        dup2(message[1], 2);
        platform::MappedView::exit_on_fault("the file shrank\n", 42);
        platform::MappedView view;
        if (!view.map(fd, 0, bytes.size())) _exit(1);
        if (ftruncate(fd, 0) != 0) _exit(2);
        const volatile unsigned char last = view.data()[bytes.size() - 1];
        _exit(last == 'x' ? 3 : 4);
    }
    close(message[1]);
    char said[64] = {};
    const ssize_t length = read(message[0], said, sizeof said - 1);
    close(message[0]);
    int status = 0;
    waitpid(child, &status, 0);
    check(WIFEXITED(status) && WEXITSTATUS(status) == 42, "the given status");
    check(length > 0 && std::string(said) == "the file shrank\n", "the given message");
    std::fclose(file);
}

#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    if (argc == 3 && std::strcmp(argv[1], kFaultChild) == 0) return fault_child(argv[2]);
    if (argc > 1 && std::strcmp(argv[1], kArgumentsChild) == 0) return arguments_child(argc, argv);
    arguments_arrive_as_utf8();
#else
    static_cast<void>(argc);
    static_cast<void>(argv);
#endif
    windows_folder_is_temp_with_the_name_appended();
    posix_folder_prefers_the_runtime_directory();
    icon_paths_join_by_concatenation();
    the_native_layer_is_this_systems();
    folders_open_to_others_are_refused();
    dib_pictures_are_decoded_top_down();
    pictures_without_alpha_use_the_mask();
    broken_icons_are_refused();
    the_largest_picture_is_chosen();
    base64_matches_the_standard_vectors();
    names_beyond_ascii_reach_their_files();
    files_are_mapped_from_any_offset();
    a_file_that_shrinks_ends_the_process_with_a_message();
    return checks::exit_status();
}
