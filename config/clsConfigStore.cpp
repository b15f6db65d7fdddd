#include "clsConfigStore.h"

#include <algorithm>

#include "clsIni.h"
#include "clsKOV.h"
#include "modConfigTexts.h"
#include "modFunctions.h"
#include "modKOVFile.h"
#include "modSafeFile.h"

using namespace modConfigTexts;

clsConfigStore::clsConfigStore(ConfigEntries& list, std::vector<std::string>& unloaded, clsIni& settings,
                               std::string folder)
    : m_list(list), m_unloaded(unloaded), m_settings(settings), m_folder(std::move(folder)) {}

StoreOutcome clsConfigStore::Save(const std::shared_ptr<clsKOV>& shown, const ApplyControls& apply,
                                  ConfigStoreHost& host) {
    StoreOutcome out;
    if (!shown) return out;

    std::string description = shown->Description == "Device" ? Text(NewConfiguration) : shown->Description;
    if (!host.AskText(Text(SavePrompt), Text(SaveTitle), description)) return out;
    description = modKOVFile::NormalizeDescription(description);
    if (description.empty()) description = Text(UserConfiguration);

    const bool isFile = modConfigList::IsFileEntry(*shown);
    const std::string file = host.AskSaveFile(m_folder, isFile ? shown->Filename : std::string(), Text(FileFilter));
    if (file.empty()) return out;

    // Whose file it is.
    std::shared_ptr<clsKOV> target;
    if (isFile && shown->Filename == file) {
        target = shown;
    } else {
        for (const auto& entry : m_list) {
            if (entry.second && entry.second != shown && modConfigList::IsFileEntry(*entry.second) &&
                entry.second->Filename == file) {
                target = entry.second;
                break;
            }
        }
        const std::string question = Text(AlreadyExists) + "\r\n" + Text(OverwriteQuestion);
        if (target) {
            if (!host.AskYesNo(target->Description + ": " + question, Text(Warning))) return out;
        } else if (modSafeFile::Inspect(file).State == modSafeFile::FileState::Regular) {
            if (!host.AskYesNo(file + ": " + question, Text(Warning))) return out;
        }
    }

    // The values to store: the shown ones as the controls have them.
    clsKOV values;
    modKOVFile::CopyParameters(*shown, values);
    if (apply) apply(values);
    values.Description = description;
    values.Filename = file;
    values.DeviceType = modKOVFile::DeviceTypeOf(values.NodeAddress);

    std::string error;
    if (!modKOVFile::WriteConfigFile(values, &error)) {
        host.ShowMessage(Text(NotSaved, {error}), Text(Error));
        out.What = StoreOutcome::Kind::Failed;
        return out;
    }

    if (target) {
        modKOVFile::CopyParameters(values, *target);
        target->Description = description;
        target->DeviceType = values.DeviceType;
        out.What = StoreOutcome::Kind::Updated;
        out.Item = modConfigList::IndexOf(m_list, target.get());
        if (target != shown) out.Select = out.Item;
    } else {
        auto entry = std::make_shared<clsKOV>();
        modKOVFile::CopyParameters(values, *entry);
        entry->Description = description;
        entry->Filename = file;
        entry->DeviceType = values.DeviceType;
        m_list.emplace_back(file, entry);
        Forget(file, m_unloaded);
        out.What = StoreOutcome::Kind::Added;
        out.Item = static_cast<int>(m_list.size()) - 1;
        out.Select = out.Item;
    }
    out.Text = description;
    out.Source = file;
    UpdateIndex(host);
    return out;
}

StoreOutcome clsConfigStore::Import(ConfigStoreHost& host) {
    StoreOutcome out;
    const std::string file = host.AskOpenFile(m_folder, Text(FileFilter));
    if (file.empty()) return out;
    auto entry = std::make_shared<clsKOV>();
    entry->Filename = file;
    const modKOVFile::ReadResult read = modKOVFile::ReadConfigFile(*entry);
    if (!read.Ok()) {
        host.ShowMessage(modKOVFile::ReadProblemText(file, read), Text(Error));
        out.What = StoreOutcome::Kind::Failed;
        return out;
    }
    m_list.emplace_back(file, entry);
    Forget(file, m_unloaded);
    out.What = StoreOutcome::Kind::Added;
    out.Item = static_cast<int>(m_list.size()) - 1;
    out.Select = out.Item;
    out.Text = entry->Description;
    out.Source = file;
    // Recorded at once, so that an import survives the end of the program.
    UpdateIndex(host);
    return out;
}

StoreOutcome clsConfigStore::Delete(const std::shared_ptr<clsKOV>& shown, ConfigStoreHost& host) {
    StoreOutcome out;
    const int position = modConfigList::IndexOf(m_list, shown.get());
    if (position <= 0 || !modConfigList::IsFileEntry(*shown)) return out;

    ConfigEntries rest = m_list;
    rest.erase(rest.begin() + position);
    std::vector<std::string> unloaded = m_unloaded;
    Forget(shown->Filename, unloaded);
    std::string error;
    if (!modConfigList::WriteIndex(m_settings, rest, unloaded, nullptr, &error)) {
        host.ShowMessage(Text(IndexNotWritten, {error}), Text(Error));
        out.What = StoreOutcome::Kind::Failed;
        return out;
    }
    m_list = std::move(rest);
    m_unloaded = std::move(unloaded);
    out.What = StoreOutcome::Kind::Removed;
    out.Item = position;
    out.Select = position - 1;
    return out;
}

void clsConfigStore::UpdateIndex(ConfigStoreHost& host) {
    std::vector<std::string> leftOut;
    std::string error;
    if (!modConfigList::WriteIndex(m_settings, m_list, m_unloaded, &leftOut, &error)) {
        host.ShowMessage(Text(IndexNotWritten, {error}), Text(Error));
        return;
    }
    if (!leftOut.empty()) {
        std::string text = Text(IndexLeftOut);
        for (const auto& name : leftOut) text += "\n" + name;
        host.ShowMessage(text, Text(Warning));
    }
}

void clsConfigStore::Forget(const std::string& file, std::vector<std::string>& unloaded) const {
    unloaded.erase(std::remove(unloaded.begin(), unloaded.end(), file), unloaded.end());
}

std::vector<std::string> NameFilters(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t bar = filter.find('|', pos);
        parts.push_back(filter.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
        if (bar == std::string::npos) break;
        pos = bar + 1;
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string text = modFunctions::Trim(parts[i]);
        std::string pattern = modFunctions::Trim(parts[i + 1]);
        std::replace(pattern.begin(), pattern.end(), ';', ' ');
        const std::string bracketed = "(" + pattern + ")";
        const bool hasIt = text.size() >= bracketed.size() &&
                           text.compare(text.size() - bracketed.size(), bracketed.size(), bracketed) == 0;
        names.push_back(hasIt ? text : text + " " + bracketed);
    }
    return names;
}
