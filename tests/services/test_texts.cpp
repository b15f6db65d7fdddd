// Language texts: the string table and the lookup with the language offset.
#include <gtest/gtest.h>

#include <string>

#include "TextTable.h"
#include "modFunctions.h"

namespace {

class TextTest : public ::testing::Test {
protected:
    void TearDown() override { modFunctions::SetLanguageOffset(0); }
    static std::string De(int id) {
        modFunctions::SetLanguageOffset(0);
        return modFunctions::GetText(id);
    }
    static std::string En(int id) {
        modFunctions::SetLanguageOffset(1000);
        return modFunctions::GetText(id);
    }
};

TEST_F(TextTest, SamplesFromEveryWindowInBothLanguages) {
    struct Sample {
        int id;
        const char* german;
        const char* english;
    };
    const Sample samples[] = {
        {1000, "&Datei", "&File"},
        {1031, "Ändern...", "Change..."},
        {1043, "English", "Deutsch"},
        {1063, "In Zeitachse 'Intervall' anzeigen", "Show time axis as 'interval'"},
        {1098, "&Schließen", "&Close"},
        {1111, "Meßwert:", "Measurement Value:"},
        {1136, "Comport nicht geöffnet", "Comport not open"},
        {1151, "rec-Dateien (*.rec)|*.rec|Alle Dateien (*.*)|*.*", "rec-Files (*.rec)|*.rec|All files (*.*)|*.*"},
        {1200, "ORA-2 / ORB-2 - Einstellungen", "ORA-2 / ORB-2 Settings"},
        {1214, "Meßeinheit", "Distance Unit"},
        {1244, "Schaltlogik Q2", "Switching Logic Q2"},
        {1261, "Negativ", "negative"},
        {1265, "Gerät", "Device"},
        {1286, "Soll die Datei überschrieben werden ?", "Do you want to overwrite the existing file ?"},
        {1289, "ORA-2 / ORB-2-Konfigurationsdatei (*.kov)|*.kov", "ORA-2 / ORB-2 Configurationfile (*.kov)|*.kov"},
        {1305, "Anzahl gültiger Messungen", "No. of valid measurements"},
        {1366, "Messpunkte verbinden", "Connect measurement points"},
        {1391, "Daten werden geladen...", "Loading data..."},
    };
    for (const auto& s : samples) {
        EXPECT_EQ(De(s.id), s.german) << s.id;
        EXPECT_EQ(En(s.id), s.english) << s.id;
    }
}

TEST_F(TextTest, TrailingBlanksArePartOfTheText) {
    EXPECT_EQ(De(1055), "Inf&o ");
    EXPECT_EQ(En(1055), "Info");
    EXPECT_EQ(En(1121), "Please select your language ");
    EXPECT_EQ(De(1263), "Ein ");
    EXPECT_EQ(En(1256), "ON-Threshold Q2 ");
    EXPECT_EQ(En(1257), "OFF-Threshold Q2 ");
    EXPECT_EQ(En(1272), "All parameters setted to factory defaults ");
    EXPECT_EQ(De(1291), "Siehe Anleitungl 5.4. Fehler beim Setzen des Konfigurationscodes ");
    EXPECT_EQ(En(1291), "See Manual 5.4. Configuration error ");
}

TEST_F(TextTest, NeutralTextsIgnoreTheLanguage) {
    const char* codes[] = {"101", "111", "301", "302", "304", "305", "306", "311", "401", "402",
                           "403", "501", "502", "503", "504", "505", "506", "601", "603", "610",
                           "701", "702", "801", "802", "351", "352", "353", "354", "355"};
    for (int id = 1; id <= 29; ++id) {
        EXPECT_EQ(De(id), codes[id - 1]);
        EXPECT_EQ(En(id), codes[id - 1]);
    }
    EXPECT_EQ(De(30), "");
    EXPECT_EQ(En(803), "BINARY+CRC");
    EXPECT_EQ(En(816), "Nautic Mile");
    EXPECT_EQ(En(825), "38400");
    EXPECT_EQ(En(834), "1024");
    EXPECT_EQ(En(840), "0 %");
    EXPECT_EQ(En(852), "PIXEL");
    EXPECT_EQ(En(890), "Deutsch");
    EXPECT_EQ(En(891), "English");
    EXPECT_EQ(En(900), "ORA-2 / ORB-2");
}

TEST_F(TextTest, MissingTextsAreEmpty) {
    EXPECT_EQ(En(1100), "");
    EXPECT_EQ(De(1100), "");
    EXPECT_EQ(De(1281), "Neue Konfiguration");
    EXPECT_EQ(En(1281), "");  // no English partner
    EXPECT_EQ(De(-5), "");
    EXPECT_EQ(De(65535), "");
    modFunctions::SetLanguageOffset(7000);
    EXPECT_EQ(modFunctions::GetText(1111), "");
}

TEST(TextHelpers, TrimAndCaseFreeComparison) {
    EXPECT_EQ(modFunctions::Trim(" \t\v\f PORTS \r\n"), "PORTS");
    EXPECT_EQ(modFunctions::Trim(" \t "), "");
    EXPECT_EQ(modFunctions::Trim("\t 12 \t", " "), "\t 12 \t") << "only the blanks asked for";

    EXPECT_TRUE(modFunctions::EqualIgnoringCase("Simulator", "SIMULATOR"));
    EXPECT_FALSE(modFunctions::EqualIgnoringCase("SIMULATOR", "SIMULATOR "));
    // Only the letters A-Z fold: neighbours one case bit apart stay different,
    // and bytes of UTF-8 letters are compared as they are.
    EXPECT_FALSE(modFunctions::EqualIgnoringCase("@[\\]^", "`{|}~"));
    EXPECT_FALSE(modFunctions::EqualIgnoringCase("\xC3\x84", "\xC3\xA4"));  // Ä, ä
}

TEST_F(TextTest, TableIsConsistent) {
    int german = 0;
    for (int id = 1000; id < 2000; ++id) {
        const char* de = TextTable::Lookup(id);
        if (!de) continue;
        ++german;
        EXPECT_STRNE(de, "") << id;
    }
    for (int id = 2000; id < 3000; ++id) {
        if (TextTable::Lookup(id)) {
            EXPECT_NE(TextTable::Lookup(id - 1000), nullptr) << "English without German: " << id;
        }
    }
    EXPECT_GE(german, 120);
}

}  // namespace
