#include "options.hpp"

#include <cctype>
#include <cstdlib>

namespace cli {

namespace {

bool same_ignoring_ascii_case(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

std::string language_choices() {
    std::string choices;
    for (const languages::Row& row : languages::rows) {
        if (row.direction != languages::Direction::encode) continue;
        if (!choices.empty()) choices += ", ";
        choices += std::string(row.language) + " (" + row.english + ")";
    }
    return choices;
}

ParsedArguments usage_error(const std::string& message) {
    return {false, Invocation(), message};
}

ParsedArguments only(Action action) {
    Invocation invocation;
    invocation.action = action;
    return {true, invocation, std::string()};
}

// A hidden option for tests: how many bytes each read asks for.
const char kChunkSizeOption[] = "--chunk-size=";

bool read_chunk_size(const std::string& argument, std::size_t& size) {
    const std::string digits = argument.substr(sizeof(kChunkSizeOption) - 1);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    size = std::size_t(std::strtoul(digits.c_str(), nullptr, 10));
    return size > 0;
}

}  // namespace

const languages::Row* find_language(const std::string& name, languages::Direction direction) {
    for (const languages::Row& row : languages::rows) {
        if (row.direction == direction &&
            (name == row.language || same_ignoring_ascii_case(name, row.english)))
            return &row;
    }
    return nullptr;
}

ParsedArguments parse_arguments(const std::vector<std::string>& arguments) {
    Invocation invocation;
    std::vector<std::string> operands;
    bool detect = false;
    bool options_done = false;
    for (const std::string& argument : arguments) {
        const bool option = !options_done && argument.size() > 1 && argument[0] == '-';
        if (!option) {
            operands.push_back(argument);
        } else if (argument == "--") {
            options_done = true;
        } else if (argument == "-h" || argument == "--help") {
            return only(Action::help);
        } else if (argument == "--version") {
            return only(Action::version);
        } else if (argument == "--detect") {
            detect = true;
        } else if (argument.compare(0, sizeof(kChunkSizeOption) - 1, kChunkSizeOption) == 0) {
            if (!read_chunk_size(argument, invocation.chunk_size))
                return usage_error("invalid chunk size in '" + argument + "'");
        } else {
            return usage_error("unknown option '" + argument + "'");
        }
    }
    if (operands.empty()) return usage_error("missing command: encode or decode");
    const std::string& command = operands[0];
    if (command != "encode" && command != "decode")
        return usage_error("unknown command '" + command + "' (use encode or decode)");
    const bool encoding = command == "encode";
    if (detect && encoding) return usage_error("--detect goes with decode, not encode");
    std::size_t next = 1;
    if (detect) {
        invocation.action = Action::detect;
    } else {
        if (operands.size() < 2) return usage_error("missing language after '" + command + "'");
        invocation.action = encoding ? Action::encode : Action::decode;
        invocation.row = find_language(
            operands[1], encoding ? languages::Direction::encode : languages::Direction::decode);
        if (invocation.row == nullptr)
            return usage_error("unknown language '" + operands[1] + "' (choose one of " +
                               language_choices() + ")");
        next = 2;
    }
    if (operands.size() > next + 1) return usage_error("too many arguments");
    if (operands.size() == next + 1 && operands[next] != "-") invocation.file = operands[next];
    return {true, invocation, std::string()};
}

}  // namespace cli
