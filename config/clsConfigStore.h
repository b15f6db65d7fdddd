#pragma once
// The configuration dialog's Save, Import and Delete, without the dialog: the
// input box, the file dialogs, the questions and the messages go to a
// ConfigStoreHost, which the dialog implements (and a test replaces).
//
// Every action either completes or changes nothing: a configuration file is
// written before the list takes the entry, and a Delete leaves the list as it
// was when KOV.ini cannot record it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modConfigList.h"

class clsIni;
class clsKOV;

class ConfigStoreHost {
public:
    virtual ~ConfigStoreHost() = default;
    // Input box with `text` as the proposal; false when cancelled.
    virtual bool AskText(const std::string& prompt, const std::string& title, std::string& text) = 0;
    // File dialogs opening in `folder`. `filter` is "Text (*.kov)|*.kov"
    // (pairs of text and pattern, separated by "|"). "" when cancelled.
    virtual std::string AskSaveFile(const std::string& folder, const std::string& preset,
                                    const std::string& filter) = 0;
    virtual std::string AskOpenFile(const std::string& folder, const std::string& filter) = 0;
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
};

// What the dialog does with cmbConfig and lblSource after an action.
struct StoreOutcome {
    enum class Kind {
        None,     // cancelled or nothing to do: no change
        Failed,   // the user has been told; no change
        Updated,  // item Item gets the text Text
        Added,    // a new item Item (always the last) with the text Text
        Removed,  // item Item is removed
    };
    Kind What = Kind::None;
    int Item = -1;
    int Select = -1;     // item to select afterwards (its click handler shows it); -1: keep the selection
    std::string Text;    // Updated / Added: the item's text
    std::string Source;  // Updated / Added: lblSource's new text when the shown entry is that item
};

class clsConfigStore {
public:
    // `unloaded` keeps the index names that did not load at start (see
    // modConfigList); `settings` is KOV.ini; `folder` the program's folder,
    // where the file dialogs open.
    clsConfigStore(ConfigEntries& list, std::vector<std::string>& unloaded, clsIni& settings, std::string folder);

    // The dialog's ApplyControls: copies the controls into a parameter set.
    using ApplyControls = std::function<void(clsKOV&)>;

    // cmdSave. Asks for the description (proposal: the shown one) and the
    // file (proposal: the shown entry's file), then writes the shown values
    // after ApplyControls:
    //  - to the shown entry's own file: that entry is updated, no question;
    //  - to another entry's file: after a Yes, that entry is updated and selected;
    //  - to a file that exists but is no entry's: after a Yes, as a new file;
    //  - to a new file: a new entry is added and selected.
    // Cancel in any step ends it with no change. The new values start from the
    // shown configuration's, so that values the dialog does not edit (the
    // rain filter's) go into the file as the shown configuration holds them.
    StoreOutcome Save(const std::shared_ptr<clsKOV>& shown, const ApplyControls& apply, ConfigStoreHost& host);

    // cmdLoad. Reads the chosen file; a file that does not read is reported
    // and not added. The same file imported twice gives two entries.
    StoreOutcome Import(ConfigStoreHost& host);

    // cmdDelete. Removes the shown file entry from the list and the index (the
    // file itself stays); the device entry is never removed. Selects the entry
    // before it.
    StoreOutcome Delete(const std::shared_ptr<clsKOV>& shown, ConfigStoreHost& host);

private:
    void UpdateIndex(ConfigStoreHost& host);
    void Forget(const std::string& file, std::vector<std::string>& unloaded) const;

    ConfigEntries& m_list;
    std::vector<std::string>& m_unloaded;
    clsIni& m_settings;
    std::string m_folder;
};

// The patterns of a file dialog filter "Text (*.kov)|*.kov|All (*.*)|*.*" as
// name filters "Text (*.kov)", "All (*.*)": each text with its pattern in
// brackets, unless the text already ends in them.
std::vector<std::string> NameFilters(const std::string& filter);
