// Configuration files (*.kov): what is written, what is read back, what is
// repaired and what is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "clsKOV.h"
#include "modFunctions.h"
#include "modKOVFile.h"

using namespace storetest;
using modKOVFile::ReadStatus;

namespace {

// A sensor configuration with every parameter away from its default.
clsKOV SerialDevice() {
    clsKOV k;
    k.Description = "Prüfstand Halle 3";
    k.SerialNo = "0815";
    k.Baudrate = 5, k.DistanceUnit = 0, k.OutputMode = 2, k.OutputFormat = 3, k.NodeAddress = -1;
    k.AutostartMode = 1, k.AverageDepth = 2, k.MovingAverage = 1, k.TimeOut = 3, k.EchoCheck = 0, k.Blanking = 1;
    k.RainFilter = 1, k.DistanceWindow = 15000, k.EchoThreshold = 300, k.DistanceLimit = 1500, k.MeasValid = 5;
    k.Offset = -250, k.ScaleFactor = 1500, k.Temperature = -55, k.AirPressure = 950;
    k.S1Logic = 0, k.S1OnThreshold = 5000, k.S1OffThreshold = 4000, k.S2Logic = 0, k.S2OnThreshold = 3000;
    k.S2OffThreshold = 2500, k.AnalogOutput = 1, k.AnalogMin = -500, k.AnalogMax = 20000;
    return k;
}

class KOVFileTest : public ::testing::Test {
protected:
    void SetUp() override { modFunctions::SetLanguageOffset(1000); }
    void TearDown() override { modFunctions::SetLanguageOffset(0); }

    // Reads `content` as a configuration file.
    modKOVFile::ReadResult Read(const std::string& content, clsKOV& kov) {
        kov.Filename = folder.File("test.kov");
        Put(kov.Filename, content);
        return modKOVFile::ReadConfigFile(kov);
    }

    ScratchFolder folder;
};

TEST_F(KOVFileTest, RoundTripGivesTheSameParameters) {
    clsKOV device = SerialDevice();
    device.Filename = folder.File("serial.kov");
    ASSERT_TRUE(modKOVFile::WriteConfigFile(device));
    clsKOV read;
    read.Filename = device.Filename;
    ASSERT_TRUE(modKOVFile::ReadConfigFile(read).Ok());
    EXPECT_EQ(modKOVFile::FileEntries(read), modKOVFile::FileEntries(device));
    EXPECT_EQ(read.Description, "Prüfstand Halle 3");
    EXPECT_EQ(read.DeviceType, "Serial");
    EXPECT_EQ(read.SerialNo, "");  // identity is not stored

    // A Profibus configuration: the outputs are written but not read back,
    // since that device has none; they keep the values of a fresh set.
    clsKOV profibus = SerialDevice();
    profibus.NodeAddress = 17;
    profibus.DeviceType = "Profibus";
    profibus.Filename = folder.File("profibus.kov");
    ASSERT_TRUE(modKOVFile::WriteConfigFile(profibus));
    EXPECT_NE(Content(profibus.Filename).find("S1OnThreshold=5000\r\n"), std::string::npos);
    clsKOV back;
    back.Filename = profibus.Filename;
    ASSERT_TRUE(modKOVFile::ReadConfigFile(back).Ok());
    EXPECT_EQ(back.DeviceType, "Profibus");
    EXPECT_EQ(back.NodeAddress, 17);
    EXPECT_EQ(back.AirPressure, 950);
    EXPECT_EQ(back.S1OnThreshold, 10000);
    EXPECT_EQ(back.AnalogOutput, 0);
}

TEST_F(KOVFileTest, NewFileIsLaidOutAsOnWindows) {
    clsKOV k;
    k.Description = "  Prüfstand\r\nHalle 3 ";
    k.Filename = folder.File("new.kov");
    ASSERT_TRUE(modKOVFile::WriteConfigFile(k));
    EXPECT_EQ(Content(k.Filename),
              "[KOV]\r\nDescription=Pr\xFC"
              "fstand  Halle 3\r\nBaudrate=3\r\nDistanceUnit=1\r\nOutputMode=0\r\n"
              "OutputFormat=1\r\nNodeAddress=-1\r\nAutoStart=0\r\nAverageDepth=4\r\nMovingAverage=0\r\nTimeOut=1\r\n"
              "BoundChecking=1\r\nBlanking=0\r\nRainFilter=-1\r\nDistanceWindow=20000\r\nEchoThreshold=512\r\n"
              "DistanceLimit=1000\r\nValidMeasurements=1\r\nOffset=0\r\nScaleFactor=1000\r\nTemperature=200\r\n"
              "AirPressure=1013\r\nS1Logic=1\r\nS1OnThreshold=10000\r\nS1OffThreshold=9900\r\nS2Logic=1\r\n"
              "S2OnThreshold=1000\r\nS2OffThreshold=900\r\nAnalogOutput=0\r\nAnalogMin=1000\r\nAnalogMax=9000\r\n");
}

TEST_F(KOVFileTest, DescriptionsKeepTheirCharacters) {
    // The 8-bit description of the Windows program reads as its characters.
    clsKOV k;
    ASSERT_TRUE(Read("[KOV]\r\nDescription=Gr\xF6\xDF"
                     "e \x80 5\r\n",
                     k)
                    .Ok());
    EXPECT_EQ(k.Description, "Größe € 5");

    // Characters Windows-1252 lacks, and text whose 8-bit form would look
    // like UTF-8, are written as UTF-8; every one reads back unchanged.
    for (const std::string& text :
         std::vector<std::string>{"Größe € 5", "Messung 𝜋 ≈ 3,14", "Ã¤ als Text", std::string(300, 'x')}) {
        clsKOV w;
        w.Description = text;
        w.Filename = folder.File("d.kov");
        ASSERT_TRUE(modKOVFile::WriteConfigFile(w));
        clsKOV r;
        r.Filename = w.Filename;
        ASSERT_TRUE(modKOVFile::ReadConfigFile(r).Ok());
        EXPECT_EQ(r.Description, modKOVFile::NormalizeDescription(text));
    }
    EXPECT_EQ(modKOVFile::NormalizeDescription(std::string(300, 'x')).size(), modKOVFile::MaxDescriptionChars);
}

TEST_F(KOVFileTest, WritingKeepsTheRestOfAnExistingFile) {
    clsKOV k = SerialDevice();
    k.Filename = folder.File("old.kov");
    Put(k.Filename, "; made by hand\n[KOV]\nAirPressure=1000\nDescription=alt\n[NOTES]\nx=1\n");
    ASSERT_TRUE(modKOVFile::WriteConfigFile(k));
    const std::string content = Content(k.Filename);
    EXPECT_EQ(content.rfind("; made by hand\n[KOV]\nAirPressure=950\nDescription=Pr\xFC"
                            "fstand Halle 3\nBaudrate=5\n",
                            0),
              0u)
        << content;
    EXPECT_NE(content.find("AnalogMax=20000\n[NOTES]\nx=1\n"), std::string::npos) << content;
}

TEST_F(KOVFileTest, MissingKeysTakeTheirUsualValues) {
    clsKOV k;
    k.RainFilter = -1;
    ASSERT_TRUE(Read("[KOV]\nDescription=nur Name\nBaudrate=\n", k).Ok());
    clsKOV expected;
    expected.RainFilter = 0;  // a file without the key has a rain filter, switched off
    expected.Description = "nur Name";
    EXPECT_EQ(modKOVFile::FileEntries(k), modKOVFile::FileEntries(expected));
    EXPECT_EQ(k.DeviceType, "Serial");
}

TEST_F(KOVFileTest, ValuesOutsideTheirRangeAreRepairedIntoIt) {
    struct Case {
        const char* line;
        std::int32_t clsKOV::*field;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"DistanceUnit=9", &clsKOV::DistanceUnit, 1},       {"DistanceUnit=6", &clsKOV::DistanceUnit, 6},
        {"AirPressure=2000", &clsKOV::AirPressure, 1013},   // not 0, which is no air pressure
        {"ScaleFactor=40000", &clsKOV::ScaleFactor, 1000},  // not 0, which would zero every distance
        {"Temperature=-101", &clsKOV::Temperature, 200},    {"Offset=32768", &clsKOV::Offset, 0},
        {"MovingAverage=2", &clsKOV::MovingAverage, 1},     {"RainFilter=-2", &clsKOV::RainFilter, 0},
        {"RainFilter=-1", &clsKOV::RainFilter, -1},         {"S1OnThreshold=1000001", &clsKOV::S1OnThreshold, 10000},
        {"DistanceWindow=-7", &clsKOV::DistanceWindow, -7},  // no range of its own
    };
    for (const Case& c : cases) {
        clsKOV k;
        ASSERT_TRUE(Read(std::string("[KOV]\nDescription=x\n") + c.line + "\n", k).Ok()) << c.line;
        EXPECT_EQ(k.*c.field, c.expected) << c.line;
        EXPECT_TRUE(modKOVFile::InValidRanges(k)) << c.line;
    }

    // The repairs are reported.
    clsKOV k;
    const auto result = Read("[KOV]\nDescription=x\nAirPressure=2000\n", k);
    ASSERT_EQ(result.Repairs.size(), 1u);
    EXPECT_EQ(result.Repairs[0].Key, "AirPressure");
    EXPECT_EQ(result.Repairs[0].Read, 2000);
    EXPECT_EQ(result.Repairs[0].Replaced, 1013);
}

TEST_F(KOVFileTest, DeviceKindAndAddressAgree) {
    struct Case {
        const char* address;
        std::int32_t expected;
        const char* type;
    };
    for (const Case& c : {Case{"-5", -1, "Serial"}, Case{"-1", -1, "Serial"}, Case{"0", 0, "Profibus"},
                          Case{"125", 125, "Profibus"}, Case{"200", 0, "Profibus"}}) {
        clsKOV k;
        ASSERT_TRUE(
            Read(std::string("[KOV]\nDescription=x\nS1OnThreshold=5\nNodeAddress=") + c.address + "\n", k).Ok());
        EXPECT_EQ(k.NodeAddress, c.expected) << c.address;
        EXPECT_EQ(k.DeviceType, c.type) << c.address;
        // The switching outputs are read for the serial device only.
        EXPECT_EQ(k.S1OnThreshold, k.DeviceType == "Serial" ? 5 : 10000) << c.address;
    }
}

TEST_F(KOVFileTest, ValuesThatAreNoWholeNumberRefuseTheFile) {
    for (const std::string value : {"abc", "12abc", "1.5", "0x10", "- 3", "2147483648", "99999999999999999999"}) {
        clsKOV k = SerialDevice();
        const clsKOV before = k;
        const auto result = Read("[KOV]\nDescription=x\nBaudrate=2\nAirPressure=" + value + "\n", k);
        EXPECT_EQ(result.Status, ReadStatus::NotANumber) << value;
        EXPECT_EQ(result.Key, "AirPressure");
        EXPECT_EQ(modKOVFile::FileEntries(k), modKOVFile::FileEntries(before)) << "changed by a refused file";
        EXPECT_EQ(modKOVFile::ReadProblemText(k.Filename, result),
                  k.Filename + ": The key AirPressure holds \"" + value +
                      "\", which is not a whole number. The configuration was not loaded.");
    }
    clsKOV k;
    ASSERT_TRUE(Read("[KOV]\nDescription=x\nOffset=+12\nTemperature=-0\nAirPressure=0999\n", k).Ok());
    EXPECT_EQ(k.Offset, 12);
    EXPECT_EQ(k.AirPressure, 999);
    // Garbage in a key that is not read (a Profibus file's outputs) does no harm.
    ASSERT_TRUE(Read("[KOV]\nDescription=x\nNodeAddress=3\nS1Logic=abc\n", k).Ok());
}

TEST_F(KOVFileTest, FilesThatAreNoConfigurationAreRefusedAndChangeNothing) {
    clsKOV k = SerialDevice();
    const auto entries = modKOVFile::FileEntries(k);

    k.Filename = folder.File("missing.kov");
    EXPECT_EQ(modKOVFile::ReadConfigFile(k).Status, ReadStatus::Missing);
    k.Filename = folder.path;
    const auto dirResult = modKOVFile::ReadConfigFile(k);
    EXPECT_EQ(dirResult.Status, ReadStatus::NotAFile);
    EXPECT_EQ(modKOVFile::ReadProblemText(k.Filename, dirResult), k.Filename + ": This is a folder, not a file.");
    EXPECT_EQ(Read(std::string("\x7F"
                               "ELF\0\0\x01\x02[KOV\xFF\xFE",
                               12),
                   k)
                  .Status,
              ReadStatus::NoConfiguration);
    EXPECT_EQ(Read("[KOV]\nBaudrate=2\n", k).Status, ReadStatus::NoConfiguration);
    EXPECT_EQ(Read("[KOV]\nDescription=   \nBaudrate=2\n", k).Status, ReadStatus::NoConfiguration);
    EXPECT_EQ(Read("[OTHER]\nDescription=x\n", k).Status, ReadStatus::NoConfiguration);

    const std::string huge = folder.File("huge.kov");
    Put(huge, "[KOV]\nDescription=big\n");
    std::filesystem::resize_file(huge, modKOVFile::MaxFileSize + 1);
    k.Filename = huge;
    EXPECT_EQ(modKOVFile::ReadConfigFile(k).Status, ReadStatus::TooLarge);

    EXPECT_EQ(modKOVFile::FileEntries(k), entries);
}

TEST_F(KOVFileTest, AFailedWriteLeavesTheOldFile) {
    clsKOV k = SerialDevice();
    std::string error;

    // A file that exists: the disk fills up during the write.
    k.Filename = folder.File("old.kov");
    Put(k.Filename, "[KOV]\r\nDescription=alt\r\n");
    {
        FullDisk full(64);
        EXPECT_FALSE(modKOVFile::WriteConfigFile(k, &error));
    }
    EXPECT_NE(error.find(std::generic_category().message(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(Content(k.Filename), "[KOV]\r\nDescription=alt\r\n");

    // A new file on a full disk: nothing is left behind.
    k.Filename = folder.File("new.kov");
    {
        FullDisk full(64);
        EXPECT_FALSE(modKOVFile::WriteConfigFile(k, &error));
    }
    EXPECT_FALSE(std::filesystem::exists(k.Filename));
    EXPECT_EQ(folder.Count(), 1u);  // old.kov only: no temporary file

    // A folder that does not exist, and a folder in the file's place.
    k.Filename = folder.File("gone/a.kov");
    EXPECT_FALSE(modKOVFile::WriteConfigFile(k, &error));
    EXPECT_EQ(error.rfind(folder.File("gone"), 0), 0u) << error;
    k.Filename = folder.path;
    EXPECT_FALSE(modKOVFile::WriteConfigFile(k, &error));
    EXPECT_EQ(error, folder.path + ": not a file");
}

}  // namespace
