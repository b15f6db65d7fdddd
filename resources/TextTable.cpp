#include "TextTable.h"

#include <map>

namespace TextTable {
namespace {
const std::map<int, const char*>& Table() {
    static const std::map<int, const char*> table = {
        {900, "ORA-2 / ORB-2"},
        {1136, "Comport nicht geöffnet"},
        {2136, "Comport not open"},
    };
    return table;
}
}  // namespace

const char* Lookup(int id) {
    const auto& t = Table();
    const auto it = t.find(id);
    return it == t.end() ? nullptr : it->second;
}
}  // namespace TextTable
