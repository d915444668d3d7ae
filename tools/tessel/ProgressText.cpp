#include "tools/tessel/ProgressText.h"

#include <regex>
#include <vector>

namespace tessel::cli {

namespace {

struct Translation {
    const char* engine;   // the engine's format: %d a number, %s a text
    const char* english;  // $1, $2: what %d and %s matched, in order
};

// Every text of the transfer engine's window and questions.
constexpr Translation kTranslations[] = {
    {"Чтение структуры таблиц...", "Reading the table structure..."},
    {"Чтение структуры полей...", "Reading the field structure..."},
    {"Чтение данных таблицы...", "Reading the table..."},
    {"Чтение таблиц...", "Reading tables..."},
    {"Запись таблиц...", "Writing tables..."},
    {"Прочитано таблиц: %d", "Tables read: $1"},
    {"Чтение структуры полей", "Reading the field structure"},
    {"Полей всего: %d Прочитано: %d", "Fields: $1, read: $2"},
    {"Чтение значений полей", "Reading the cells"},
    {"Полей всего: %d прочитано: %d", "Cells: $1, read: $2"},
    {"Чтение таблицы '%s'", "Reading table '$1'"},
    {"Запись таблицы '%s'", "Writing table '$1'"},
    {"Запись значений полей", "Writing the cells"},
    {"Полей всего: %d записано: %d", "Cells: $1, written: $2"},
    // The error question: the driver's result, as every other result is printed.
    {"Ошибка: (%d) %s", "($1) $2"},
};

// The whole-text pattern of an engine format.
std::regex PatternOf(std::string_view format) {
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 'd' || format[i + 1] == 's')) {
            pattern += format[++i] == 'd' ? "(-?[0-9]+)" : "(.*)";
        } else {
            if (std::string_view(".^$|()[]{}*+?\\").find(format[i]) != std::string_view::npos)
                pattern += '\\';
            pattern += format[i];
        }
    }
    return std::regex(pattern);
}

struct Compiled {
    std::regex pattern;
    const char* english;
};

const std::vector<Compiled>& Table() {
    static const std::vector<Compiled> table = [] {
        std::vector<Compiled> compiled;
        for (const Translation& t : kTranslations) compiled.push_back({PatternOf(t.engine), t.english});
        return compiled;
    }();
    return table;
}

}  // namespace

std::string EnglishProgressText(std::string_view text) {
    const std::string whole(text);
    std::smatch match;
    for (const Compiled& entry : Table()) {
        if (std::regex_match(whole, match, entry.pattern)) return match.format(entry.english);
    }
    return whole;
}

}  // namespace tessel::cli
