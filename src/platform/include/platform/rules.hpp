// The platform rules as plain functions of their inputs, free of the
// interpreter, so that both layers can be checked on any machine.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

enum class Layer { windows, posix };

#ifdef _WIN32
constexpr Layer native_layer = Layer::windows;
#else
constexpr Layer native_layer = Layer::posix;
#endif

// Windows' file names are Unicode text: the layer takes their UTF-8 form.
// Elsewhere a name is the file system's bytes.
constexpr bool kNamesAreText = native_layer == Layer::windows;
// Tk for Windows shows an .ico file as a window's icon; elsewhere its
// pictures go through a photo image.
constexpr bool kTkShowsIcoFiles = native_layer == Layer::windows;
// A user's own temporary folder on Windows is private; elsewhere the icon
// folder may lie where others can write, and is checked before each write.
constexpr bool kIconFolderMayBeShared = native_layer == Layer::posix;

// The value of an environment variable, or nothing when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The temporary icon folder. Windows: nothing when `Temp` is unset, since the
// folder name is appended to the variable's value.
std::optional<std::string> program_temp_path(Layer layer, const EnvironmentLookup& environment,
                                             unsigned long uid);

// What follows the folder path in the path of the icon file `number_text`.
std::string icon_file_suffix(Layer layer, const std::string& number_text);

// What an existing icon folder looks like on a POSIX system.
struct FolderStatus {
    bool is_link;
    bool is_directory;
    unsigned long owner;
    unsigned long permissions;  // the rwx bits of the mode
};

// Why a folder in a shared temporary directory must not hold our icon files,
// or nullptr when it may.
const char* unsafe_folder_reason(const FolderStatus& status, unsigned long uid);

}  // namespace platform
