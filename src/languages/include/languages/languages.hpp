// The four joke languages, each as an encoding and a decoding alphabet with its
// icon: the one definition shared by the window and the command line.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace languages {

// One entry of `numbers_list`: a digit value, or the separator text.
struct Symbol {
    int digit;  // -1 for the separator entry
    const char* text;
};
constexpr Symbol digit(int value) {
    return {value, nullptr};
}
constexpr Symbol separator(const char* text) {
    return {-1, text};
}

enum class Direction { encode, decode };

struct Icon {
    const char* name;  // the icon text's name in the icon data module
    int number;
};

struct Row {
    const char* label;     // the direction label of the drop-down list
    const char* language;  // the language's own name, as in the label
    const char* english;   // its English alias
    Direction direction;
    const char* value_list[4];
    Symbol numbers_list[4];
    std::size_t size;  // entries used of both lists
    Icon icon;         // the icon, or the one for a draw of 1 or 2
    bool monkey_draw;  // the icon is drawn at random between the monkey pictures
};

constexpr Row row(const char* label, const char* language, const char* english, Direction direction,
                  std::initializer_list<const char*> value_list,
                  std::initializer_list<Symbol> numbers_list, Icon icon, bool monkey_draw = false) {
    Row row{label, language, english, direction, {}, {}, 0, icon, monkey_draw};
    for (const char* value : value_list) row.value_list[row.size++] = value;
    std::size_t k = 0;
    for (const Symbol& number : numbers_list) row.numbers_list[k++] = number;
    return row;
}

// A draw of 0 shows the second monkey picture.
constexpr Icon monkey_draw_zero{"monkey_cp", 6};

inline constexpr Row rows[] = {
    row("人语→气泡语", "气泡语", "bubble", Direction::encode, {"O", "o", "0"},
        {digit(1), digit(0), separator(" ")}, {"qipaoyu", 2}),
    row("气泡语→人语", "气泡语", "bubble", Direction::decode, {"0", "O", "o"},
        {separator(" "), digit(1), digit(0)}, {"qipaoyu", 2}),
    row("人语→鸽语", "鸽语", "pigeon", Direction::encode, {"哩", "鸽", "咕", " "},
        {digit(2), digit(1), digit(0), separator(" ")}, {"gezi", 3}),
    row("鸽语→人语", "鸽语", "pigeon", Direction::decode, {"哩", "鸽", "咕", " "},
        {digit(2), digit(1), digit(0), separator(" ")}, {"gezi", 3}),
    row("人语→猫语", "猫语", "cat", Direction::encode, {"喵喵喵！", "喵喵？", "喵", ","},
        {digit(2), digit(0), digit(1), separator("喵呜~ ")}, {"tabbit", 4}),
    row("猫语→人语", "猫语", "cat", Direction::decode, {"喵呜~", "喵喵喵！", "喵喵？", "喵"},
        {separator(""), digit(2), digit(0), digit(1)}, {"tabbit", 4}),
    row("人语→猴语", "猴语", "monkey", Direction::encode, {"吱吱", "唧唧", " "},
        {digit(1), digit(0), separator(" ")}, {"monkey", 5}, true),
    row("猴语→人语", "猴语", "monkey", Direction::decode, {"吱吱", "唧唧", " "},
        {digit(1), digit(0), separator(" ")}, {"monkey", 5}, true),
};

constexpr std::size_t row_count = sizeof(rows) / sizeof(rows[0]);

}  // namespace languages
