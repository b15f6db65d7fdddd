#include "modConfigList.h"

#include <algorithm>

#include "clsIni.h"
#include "clsKOV.h"
#include "modConfigTexts.h"
#include "modFunctions.h"

namespace modConfigList {
namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::size_t Utf8Chars(const std::string& s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// A name the index can hold: one line, read back whole.
bool Storable(const std::string& name) {
    return Utf8Chars(name) <= MaxPathChars && name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
           name == modFunctions::Trim(name);
}

}  // namespace

std::string IndexKey(int n) { return std::to_string(n) + "KOVFile"; }

bool IsFileEntry(const clsKOV& kov) {
    return kov.Name != "Device" && kov.Name != "Default" && !kov.Filename.empty() && kov.Filename != "Device";
}

LoadResult LoadConfigList(const clsIni& settings, ConfigEntries& list, std::vector<std::string>& unloaded) {
    LoadResult result;
    std::vector<std::string> seen;
    for (int n = 1; n <= MaxFiles; ++n) {
        // A name as the file system has it (on POSIX the bytes, UTF-8 or not).
        const std::string name = settings.GetPath(IndexSection, IndexKey(n));
        if (name.empty() || Contains(seen, name)) continue;
        seen.push_back(name);
        auto kov = std::make_shared<clsKOV>();
        kov->Filename = name;
        const modKOVFile::ReadResult read = modKOVFile::ReadConfigFile(*kov);
        if (read.Ok()) {
            list.emplace_back(name, std::move(kov));
        } else {
            unloaded.push_back(name);
            result.Problems.push_back({name, read, modKOVFile::ReadProblemText(name, read)});
        }
    }
    return result;
}

std::string LoadProblemsText(const LoadResult& result) {
    if (result.Problems.empty()) return {};
    std::string text = modConfigTexts::Text(modConfigTexts::NotLoaded);
    for (const auto& problem : result.Problems) text += "\n" + problem.Message;
    return text;
}

std::vector<std::string> IndexNames(const ConfigEntries& list, const std::vector<std::string>& unloaded,
                                    std::vector<std::string>* leftOut) {
    std::vector<std::string> names, dropped;
    auto add = [&](const std::string& name) {
        if (Contains(names, name) || Contains(dropped, name)) return;
        if (names.size() < static_cast<std::size_t>(MaxFiles) && Storable(name))
            names.push_back(name);
        else
            dropped.push_back(name);
    };
    for (const auto& entry : list)
        if (entry.second && IsFileEntry(*entry.second)) add(entry.second->Filename);
    for (const auto& name : unloaded)
        if (!name.empty()) add(name);
    if (leftOut) *leftOut = dropped;
    return names;
}

bool WriteIndex(clsIni& settings, const ConfigEntries& list, const std::vector<std::string>& unloaded,
                std::vector<std::string>* leftOut, std::string* error) {
    const std::vector<std::string> names = IndexNames(list, unloaded, leftOut);
    std::vector<clsIni::Setting> keys;
    for (std::size_t i = 0; i < names.size(); ++i)
        keys.push_back({IndexSection, IndexKey(static_cast<int>(i) + 1), names[i]});
    // Clear what an earlier, longer index left behind, so that nothing
    // removed here comes back at the next start.
    for (int n = static_cast<int>(names.size()) + 1; n <= MaxFiles; ++n) {
        const bool next = n == static_cast<int>(names.size()) + 1;
        if (next || !settings.GetPath(IndexSection, IndexKey(n)).empty())
            keys.push_back({IndexSection, IndexKey(n), ""});
    }
    return settings.WriteSettings(keys, error);
}

std::string ItemText(const clsKOV& kov) {
    return kov.Name == "Device" ? modFunctions::GetText(modConfigTexts::DeviceItem) : kov.Description;
}

std::vector<std::string> ItemTexts(const ConfigEntries& list) {
    std::vector<std::string> texts;
    texts.reserve(list.size());
    for (const auto& entry : list) texts.push_back(entry.second ? ItemText(*entry.second) : std::string());
    return texts;
}

std::string SourceText(const clsKOV& kov) { return kov.Filename; }

int IndexOf(const ConfigEntries& list, const clsKOV* kov) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].second.get() == kov) return static_cast<int>(i);
    return -1;
}

}  // namespace modConfigList
