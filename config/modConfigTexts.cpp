#include "modConfigTexts.h"

#include <vector>

#include "modFunctions.h"

namespace modConfigTexts {

std::string FillText(const std::string& text, std::initializer_list<std::string> args) {
    const std::vector<std::string> list(args);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < list.size()) {
                out += list[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string Text(int id, std::initializer_list<std::string> args) { return FillText(modFunctions::GetText(id), args); }

}  // namespace modConfigTexts
