#include "selection/command.h"

#include <utility>

std::string Expand(std::string_view text, std::span<const Placeholder> values) {
    std::string expanded;
    while (!text.empty()) {
        const Placeholder *found = nullptr;
        if (text.front() == '{')
            for (const Placeholder &p : values)
                if (text.substr(1, p.name.size()) == p.name &&
                    text.substr(1 + p.name.size(), 1) == "}")
                    found = &p;
        if (found == nullptr) {
            expanded += text.front();
            text.remove_prefix(1);
            continue;
        }
        expanded += found->value;
        text.remove_prefix(found->name.size() + 2);
    }
    return expanded;
}

std::vector<std::string> CommandWords(std::string_view command,
                                      std::span<const Placeholder> values) {
    constexpr std::string_view kBlanks = " \t";
    std::vector<std::string> words;
    for (;;) {
        std::size_t start = command.find_first_not_of(kBlanks);
        if (start == std::string_view::npos)
            return words;
        command.remove_prefix(start);
        std::size_t end = command.find_first_of(kBlanks);
        std::string_view word = command.substr(0, end);
        std::string expanded = Expand(word, values);
        // A placeholder alone that is empty takes its option with it.
        if (expanded.empty() && word.starts_with('{') && word.ends_with('}')) {
            if (!words.empty() && words.back().starts_with('-'))
                words.pop_back();
        } else {
            words.push_back(std::move(expanded));
        }
        command.remove_prefix(end == std::string_view::npos ? command.size()
                                                            : end);
    }
}
