#include "platform/rules.hpp"

namespace platform {

namespace {

const char kFolderName[] = "Quenzariv2.2";

bool is_set(const std::optional<std::string>& value) {
    return value && !value->empty();
}

}  // namespace

std::optional<std::string> program_temp_path(Layer layer, const EnvironmentLookup& environment,
                                             unsigned long uid) {
    if (layer == Layer::windows) {
        std::optional<std::string> temp = environment("Temp");
        if (!temp) return std::nullopt;
        return *temp + "\\" + kFolderName;
    }
    std::optional<std::string> runtime = environment("XDG_RUNTIME_DIR");
    if (is_set(runtime)) return *runtime + "/" + kFolderName;
    // A shared directory: the user id keeps users apart.
    std::optional<std::string> shared = environment("TMPDIR");
    std::string base = is_set(shared) ? *shared : std::string("/tmp");
    return base + "/" + kFolderName + "-" + std::to_string(uid);
}

std::string icon_file_suffix(Layer layer, const std::string& number_text) {
    return (layer == Layer::windows ? "\\" : "/") + number_text + ".ico";
}

const char* unsafe_folder_reason(const FolderStatus& status, unsigned long uid) {
    if (status.is_link) return "the icon folder is a symbolic link";
    if (!status.is_directory) return "the icon folder is not a directory";
    if (status.owner != uid) return "the icon folder belongs to another user";
    if ((status.permissions & 077) != 0) return "the icon folder is open to other users";
    return nullptr;
}

}  // namespace platform
