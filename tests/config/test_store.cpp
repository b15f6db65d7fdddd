// The configuration list, its index in KOV.ini, and Save / Import / Delete of
// the configuration dialog (the dialog's windows replaced by a script).
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "clsConfigStore.h"
#include "clsIni.h"
#include "clsKOV.h"
#include "modConfigList.h"
#include "modFunctions.h"
#include "modKOVFile.h"

using namespace storetest;
using Kind = StoreOutcome::Kind;

namespace {

// Answers the store's questions from a script and records what it was asked.
class ScriptedHost : public ConfigStoreHost {
public:
    // nullptr: the input box is cancelled.
    std::deque<const char*> texts;
    std::deque<std::string> saveFiles, openFiles;
    std::deque<bool> answers;

    std::vector<std::string> prompts, presets, questions, messages;

    bool AskText(const std::string& prompt, const std::string&, std::string& text) override {
        prompts.push_back(prompt);
        presets.push_back(text);
        const char* answer = Next(texts, static_cast<const char*>(nullptr));
        if (!answer) return false;
        text = answer;
        return true;
    }
    std::string AskSaveFile(const std::string&, const std::string& preset, const std::string&) override {
        presets.push_back(preset);
        return Next(saveFiles, std::string());
    }
    std::string AskOpenFile(const std::string&, const std::string&) override { return Next(openFiles, std::string()); }
    bool AskYesNo(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return Next(answers, false);
    }
    void ShowMessage(const std::string& text, const std::string&) override { messages.push_back(text); }

private:
    template <class T>
    static T Next(std::deque<T>& queue, T none) {
        if (queue.empty()) return none;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        modFunctions::SetLanguageOffset(0);
        settings.Filename(folder.File("KOV.ini"));
        device = std::make_shared<clsKOV>();
        device->Name = device->Filename = "Device";
        device->SerialNo = "0815";
        list.emplace_back("Device", device);
    }

    // A configuration file named `name` with the description `description`.
    std::string MakeFile(const std::string& name, const std::string& description, int airPressure = 1013) {
        const std::string file = folder.File(name);
        Put(file, "[KOV]\r\nDescription=" + description + "\r\nAirPressure=" + std::to_string(airPressure) + "\r\n");
        return file;
    }

    std::shared_ptr<clsKOV> Entry(const std::string& file) {
        auto kov = std::make_shared<clsKOV>();
        kov->Filename = file;
        EXPECT_TRUE(modKOVFile::ReadConfigFile(*kov).Ok());
        return kov;
    }

    std::string Index(int n) { return settings.GetSetting("FILES", modConfigList::IndexKey(n), "-"); }

    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (std::size_t i = 1; i < list.size(); ++i) files.push_back(list[i].second->Filename);
        return files;
    }

    ScratchFolder folder;
    clsIni settings;
    std::shared_ptr<clsKOV> device;
    ConfigEntries list;
    std::vector<std::string> unloaded;
    clsConfigStore store{list, unloaded, settings, folder.path};
    ScriptedHost host;
};

TEST_F(StoreTest, LoadingKeepsTheNamesThatDoNotLoad) {
    const std::string a = MakeFile("a.kov", "A"), b = MakeFile("b.kov", "B");
    const std::string gone = folder.File("stick/gone.kov"), bad = MakeFile("bad.kov", "");
    Put(settings.Filename(), "[FILES]\n1KOVFile=\n2KOVFile=" + a + "\n3KOVFile=" + gone + "\n4KOVFile=" + bad +
                                 "\n5KOVFile=" + a + "\n64KOVFile=" + b + "\n65KOVFile=" + b + "\n");
    const auto result = modConfigList::LoadConfigList(settings, list, unloaded);

    EXPECT_EQ(Files(), (std::vector<std::string>{a, b}));  // an empty key does not end the scan; a twin is read once
    EXPECT_EQ(unloaded, (std::vector<std::string>{gone, bad}));
    EXPECT_EQ(modConfigList::LoadProblemsText(result), "Nicht geladene Konfigurationen:\n" + gone +
                                                           ": Die Datei ist nicht vorhanden.\n" + bad +
                                                           ": Die Datei enthält keine ORA-2 / ORB-2-Konfiguration "
                                                           "(kein Eintrag Description im Abschnitt [KOV]).");
    EXPECT_EQ(modConfigList::ItemTexts(list), (std::vector<std::string>{"Gerät", "A", "B"}));

    // The next index write keeps them, after the loaded ones, and clears the rest.
    ASSERT_TRUE(modConfigList::WriteIndex(settings, list, unloaded));
    EXPECT_EQ(Index(1), a);
    EXPECT_EQ(Index(2), b);
    EXPECT_EQ(Index(3), gone);
    EXPECT_EQ(Index(4), bad);
    EXPECT_EQ(Index(5), "");
    EXPECT_EQ(Index(64), "");
    EXPECT_EQ(Index(6), "-");  // keys that held nothing are not added
}

// A file whose name is not UTF-8 (Latin-1 "Größe.kov" on a POSIX disk)
// keeps its bytes through the index: it is found again at the next start.
TEST_F(StoreTest, ANameThatIsNotUtf8NamesItsFileAfterTheIndex) {
    const std::string latin1 = MakeFile("Gr\xf6\xdf" "e.kov", "Latin-1");
    list.push_back({latin1, Entry(latin1)});
    ASSERT_TRUE(modConfigList::WriteIndex(settings, list, unloaded));
    ConfigEntries again;
    std::vector<std::string> none;
    EXPECT_TRUE(modConfigList::LoadConfigList(settings, again, none).Problems.empty());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].second->Filename, latin1);
    EXPECT_EQ(again[0].second->Description, "Latin-1");
}

TEST_F(StoreTest, DeletedEntriesDoNotComeBack) {
    const std::string a = MakeFile("a.kov", "A"), b = MakeFile("b.kov", "B"), c = MakeFile("c.kov", "C");
    Put(settings.Filename(), "[GENERAL]\nBaudrate=38400\n[FILES]\n1KOVFile=" + a + "\n2KOVFile=" + b +
                                 "\n3KOVFile=" + c + "\n9KOVFile=" + c + "\n");
    modConfigList::LoadConfigList(settings, list, unloaded);
    ASSERT_EQ(list.size(), 4u);

    const auto out = store.Delete(list[2].second, host);
    EXPECT_EQ(out.What, Kind::Removed);
    EXPECT_EQ(out.Item, 2);
    EXPECT_EQ(out.Select, 1);
    EXPECT_EQ(Files(), (std::vector<std::string>{a, c}));
    EXPECT_EQ(Index(1), a);
    EXPECT_EQ(Index(2), c);
    EXPECT_EQ(Index(3), "");
    EXPECT_EQ(Index(9), "");
    EXPECT_EQ(settings.GetSetting("GENERAL", "Baudrate", 0), 38400);
    EXPECT_TRUE(std::filesystem::exists(b));  // the file itself stays

    ConfigEntries again{{"Device", device}};
    std::vector<std::string> none;
    modConfigList::LoadConfigList(settings, again, none);
    EXPECT_EQ(again.size(), 3u);

    // The device entry is never removed.
    EXPECT_EQ(store.Delete(device, host).What, Kind::None);
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(StoreTest, DeleteChangesNothingWhenTheIndexCannotBeWritten) {
    const std::string a = MakeFile("a.kov", "A");
    list.emplace_back(a, Entry(a));
    settings.Filename(folder.path);  // a folder where KOV.ini should be
    EXPECT_EQ(store.Delete(list[1].second, host).What, Kind::Failed);
    EXPECT_EQ(list.size(), 2u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("Die Liste der Konfigurationen in KOV.ini wurde nicht geschrieben: ", 0), 0u);
}

TEST_F(StoreTest, SavingTheDeviceAddsAnEntryThatReadsBackTheSame) {
    device->RainFilter = 1, device->DistanceWindow = 15000, device->MeasValid = 4;  // not edited in the dialog
    device->S2Logic = 0, device->AnalogOutput = 0;
    host.texts = {"Halle 3"};
    host.saveFiles = {folder.File("halle3.kov")};
    const auto out = store.Save(
        device, [](clsKOV& c) { c.AirPressure = 990, c.Offset = -12; }, host);

    EXPECT_EQ(host.presets, (std::vector<std::string>{"", ""}));  // no description, no file proposed
    EXPECT_EQ(host.prompts[0], "Bitte geben sie eine kurze Beschreibung für diese Konfiguration an");
    EXPECT_EQ(out.What, Kind::Added);
    EXPECT_EQ(out.Item, 1);
    EXPECT_EQ(out.Select, 1);
    EXPECT_EQ(out.Text, "Halle 3");
    EXPECT_EQ(out.Source, folder.File("halle3.kov"));
    EXPECT_EQ(device->AirPressure, 1013);  // the device itself is untouched
    EXPECT_EQ(device->Filename, "Device");
    EXPECT_EQ(Index(1), folder.File("halle3.kov"));
    EXPECT_TRUE(host.questions.empty());

    // Imported again, it gives the same fields.
    host.openFiles = {folder.File("halle3.kov")};
    ASSERT_EQ(store.Import(host).What, Kind::Added);
    clsKOV expected = *device;
    expected.AirPressure = 990, expected.Offset = -12, expected.Description = "Halle 3";
    EXPECT_EQ(modKOVFile::FileEntries(*list[2].second), modKOVFile::FileEntries(expected));
    EXPECT_EQ(modKOVFile::FileEntries(*list[1].second), modKOVFile::FileEntries(expected));
    EXPECT_EQ(list[1].second->SerialNo, "");  // the identity stays with the device
}

TEST_F(StoreTest, SavingOverFiles) {
    const std::string a = MakeFile("a.kov", "A"), b = MakeFile("b.kov", "B", 900);
    list.emplace_back(a, Entry(a));
    list.emplace_back(b, Entry(b));
    const auto shown = list[1].second;
    auto raise = [](clsKOV& c) { c.AirPressure = 1100; };

    // Its own file: no question, the item's text changes.
    host.texts = {"A neu"};
    host.saveFiles = {a};
    auto out = store.Save(shown, raise, host);
    EXPECT_EQ(host.presets, (std::vector<std::string>{"A", a}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(out.What, Kind::Updated);
    EXPECT_EQ(out.Item, 1);
    EXPECT_EQ(out.Select, -1);
    EXPECT_EQ(shown->Description, "A neu");
    EXPECT_EQ(shown->AirPressure, 1100);

    // Another entry's file, answered No: nothing changes.
    host.texts = {"X"};
    host.saveFiles = {b};
    host.answers = {false};
    const std::string before = Content(b);
    EXPECT_EQ(store.Save(shown, raise, host).What, Kind::None);
    EXPECT_EQ(host.questions.back(),
              "B: Die Konfiguration existiert bereits.\r\nSoll die Datei überschrieben werden ?");
    EXPECT_EQ(Content(b), before);

    // Yes: that entry takes the values and is selected; the shown one keeps its file.
    host.texts = {"X"};
    host.saveFiles = {b};
    host.answers = {true};
    out = store.Save(shown, raise, host);
    EXPECT_EQ(out.What, Kind::Updated);
    EXPECT_EQ(out.Item, 2);
    EXPECT_EQ(out.Select, 2);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].second->Description, "X");
    EXPECT_EQ(list[2].second->AirPressure, 1100);
    EXPECT_EQ(shown->Filename, a);
    EXPECT_EQ(shown->Description, "A neu");
    EXPECT_EQ(Entry(b)->AirPressure, 1100);

    // A file on disk that is no entry's: asked too. An empty description
    // becomes the user configuration's.
    const std::string c = MakeFile("c.kov", "C");
    host.texts = {"  "};
    host.saveFiles = {c};
    host.answers = {true};
    out = store.Save(shown, raise, host);
    EXPECT_EQ(host.questions.back(),
              c + ": Die Konfiguration existiert bereits.\r\nSoll die Datei überschrieben werden ?");
    EXPECT_EQ(out.What, Kind::Added);
    EXPECT_EQ(out.Text, "Benutzer-Konfiguration");
}

TEST_F(StoreTest, CancelOrAFailedWriteChangesNothing) {
    host.texts = {nullptr};  // the input box cancelled
    EXPECT_EQ(store.Save(device, nullptr, host).What, Kind::None);
    host.texts = {"x"};  // the file dialog cancelled
    EXPECT_EQ(store.Save(device, nullptr, host).What, Kind::None);
    EXPECT_EQ(store.Import(host).What, Kind::None);

    Put(settings.Filename(), "[FILES]\n1KOVFile=/keep.kov\n");
    host.texts = {"x"};
    host.saveFiles = {folder.File("gone/x.kov")};
    EXPECT_EQ(store.Save(device, nullptr, host).What, Kind::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("Die Konfiguration wurde nicht gespeichert: " + folder.File("gone"), 0), 0u)
        << host.messages[0];
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(Content(settings.Filename()), "[FILES]\n1KOVFile=/keep.kov\n");
}

TEST_F(StoreTest, ImportTwiceAndImportFailures) {
    const std::string a = MakeFile("a.kov", "A");
    host.openFiles = {a, a};
    EXPECT_EQ(store.Import(host).What, Kind::Added);
    const auto out = store.Import(host);
    EXPECT_EQ(out.What, Kind::Added);
    EXPECT_EQ(out.Item, 2);
    EXPECT_EQ(Files(), (std::vector<std::string>{a, a}));
    EXPECT_EQ(Index(1), a);  // written at once, and once
    EXPECT_EQ(Index(2), "");

    // Deleting one of the twins keeps the file listed for the other.
    store.Delete(list[1].second, host);
    EXPECT_EQ(Index(1), a);

    const std::string garbage = folder.File("garbage.kov");
    Put(garbage, "[KOV]\nDescription=x\nBaudrate=schnell\n");
    host.openFiles = {garbage, folder.path};
    EXPECT_EQ(store.Import(host).What, Kind::Failed);
    EXPECT_EQ(store.Import(host).What, Kind::Failed);
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{garbage + ": Der Eintrag Baudrate enthält \"schnell\", keine ganze Zahl. "
                                                  "Die Konfiguration wurde nicht geladen.",
                                        folder.path + ": Das ist ein Ordner, keine Datei."}));
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(StoreTest, AFileThatComesBackIsListedOnce) {
    const std::string a = folder.File("a.kov");
    Put(settings.Filename(), "[FILES]\n1KOVFile=" + a + "\n");
    modConfigList::LoadConfigList(settings, list, unloaded);
    ASSERT_EQ(unloaded.size(), 1u);

    MakeFile("a.kov", "A");  // the stick is plugged in again
    host.openFiles = {a};
    ASSERT_EQ(store.Import(host).What, Kind::Added);
    EXPECT_TRUE(unloaded.empty());
    store.Delete(list[1].second, host);
    EXPECT_EQ(Index(1), "");  // deleted means deleted
}

TEST_F(StoreTest, AFullListWarnsAndKeepsTheFirst64) {
    std::string index = "[FILES]\n";
    for (int n = 1; n <= 64; ++n)
        index += std::to_string(n) + "KOVFile=" + folder.File("gone" + std::to_string(n)) + "\n";
    Put(settings.Filename(), index);
    modConfigList::LoadConfigList(settings, list, unloaded);
    ASSERT_EQ(unloaded.size(), 64u);

    host.texts = {"neu"};
    host.saveFiles = {folder.File("new.kov")};
    EXPECT_EQ(store.Save(device, nullptr, host).What, Kind::Added);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0],
              "Diese Dateien fehlen beim nächsten Start in der Liste der Konfigurationen (sie fasst "
              "64 Dateien mit Pfaden bis 254 Zeichen):\n" +
                  folder.File("gone64"));
    EXPECT_EQ(Index(1), folder.File("new.kov"));
    EXPECT_EQ(Index(64), folder.File("gone63"));
}

TEST(StoreFilters, NameFiltersForTheFileDialog) {
    EXPECT_EQ(NameFilters("ORA-2 / ORB-2 Configurationfile (*.kov)|*.kov"),
              (std::vector<std::string>{"ORA-2 / ORB-2 Configurationfile (*.kov)"}));
    EXPECT_EQ(NameFilters("Texte|*.txt;*.log|Alle (*.*)|*.*"),
              (std::vector<std::string>{"Texte (*.txt *.log)", "Alle (*.*)"}));
}

}  // namespace
