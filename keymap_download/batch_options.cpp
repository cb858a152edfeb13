#include "keymap_download/batch_options.h"

#include <vector>

namespace keymap_download {

std::string join_command_text(std::span<const std::string> arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        text += argument;
        text += ' ';
    }
    return text;
}

std::string join_command_text(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return join_command_text(arguments);
}

std::size_t find_option(std::string_view text, std::string_view option) {
    return text.find(option);
}

std::string option_value(std::string_view text, std::size_t slash) {
    // The option letter and one separating character are skipped.
    if (slash == std::string_view::npos || slash >= text.size() || text.size() - slash <= 3) {
        return {};
    }
    const std::size_t start = slash + 3;
    const std::size_t next_slash = text.find('/', start);
    if (next_slash == std::string_view::npos) {
        return std::string(text.substr(start));
    }
    // Ends one character before the next slash: the blank that separates the options.
    if (next_slash <= start + 1) {
        return {};
    }
    return std::string(text.substr(start, next_slash - 1 - start));
}

std::string unquoted_value(std::string_view value) {
    const std::size_t open = value.find('"');
    if (open == std::string_view::npos) {
        return std::string(value);
    }
    const std::string_view rest = value.substr(open + 1);
    const std::size_t close = rest.find('"');
    return std::string(close == std::string_view::npos ? rest : rest.substr(0, close));
}

bool is_date_value(std::string_view value) {
    constexpr std::string_view form = "NNNN-NN-NN";
    if (value.size() < form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        const bool digit = value[i] >= '0' && value[i] <= '9';
        if (form[i] == 'N' ? !digit : value[i] != '-') {
            return false;
        }
    }
    return value.find_first_not_of(' ', form.size()) == std::string_view::npos;
}

namespace {

// The first of the given spellings that occurs, or npos.
std::size_t find_first_of_options(std::string_view text,
                                  std::initializer_list<std::string_view> options) {
    for (std::string_view option : options) {
        const std::size_t pos = find_option(text, option);
        if (pos != std::string_view::npos) {
            return pos;
        }
    }
    return std::string_view::npos;
}

}  // namespace

BatchOptions parse_options(std::string_view text) {
    constexpr std::size_t npos = std::string_view::npos;
    BatchOptions options;

    if (std::size_t pos = find_first_of_options(text, {"/L", "/l"}); pos != npos) {
        options.log = true;
        options.log_path = unquoted_value(option_value(text, pos));
    }

    struct FunctionOption {
        std::string_view spelling;
        BatchFunction function;
    };
    static constexpr FunctionOption function_options[] = {
        {"/C", BatchFunction::compare},
        {"/c", BatchFunction::compare},
        {"/W", BatchFunction::write_if_different},
        {"/w", BatchFunction::write_if_different},
        {"/F", BatchFunction::write_always},
        {"/f", BatchFunction::write_always},
    };
    for (const FunctionOption& option : function_options) {
        if (std::size_t pos = find_option(text, option.spelling); pos != npos) {
            options.function = option.function;
            options.keymap_path = unquoted_value(option_value(text, pos));
            break;
        }
    }

    options.usage = find_first_of_options(text, {"/H", "/h", "/?"}) != npos;

    if (find_option(text, "/1") != npos) {
        options.model_selector = 1;
    } else if (find_option(text, "/2") != npos) {
        options.model_selector = 2;
    }

    if (std::size_t pos = find_first_of_options(text, {"/T", "/t"}); pos != npos) {
        options.date_given = true;
        options.date_text = option_value(text, pos);
    }

    if (std::size_t pos = find_first_of_options(text, {"/B", "/b"}); pos != npos) {
        options.backup = true;
        options.backup_path = unquoted_value(option_value(text, pos));
    }
    return options;
}

}  // namespace keymap_download
