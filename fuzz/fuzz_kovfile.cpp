// Fuzz target: the configuration file reader (modKOVFile) on an arbitrary
// file. Whatever the file holds, reading it either gives a parameter set in
// which every value lies in its range, the device kind agrees with the node
// address and the description is a clean, non-empty line, or it is refused
// and the configuration object is left exactly as it was. A set that was
// read is written to a second file and must read back the same.
//
// Input layout: the whole input is the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "clsKOV.h"
#include "modCodePage.h"
#include "modKOVFile.h"

namespace fs = std::filesystem;

namespace {

const std::string& Folder() { return fuzzsupport::TempFolder("fuzz_kovfile"); }

bool HasControls(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = Folder() + "/input.kov";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.good(), "cannot write the input file");
    }

    clsKOV kov;
    kov.Filename = file;
    const clsKOV fresh = kov;
    const modKOVFile::ReadResult result = modKOVFile::ReadConfigFile(kov);

    if (!result.Ok()) {
        FUZZ_CHECK(modKOVFile::FileEntries(kov) == modKOVFile::FileEntries(fresh) && kov.DeviceType == fresh.DeviceType,
                   "a refused file changed the configuration");
        FUZZ_CHECK(result.Status == modKOVFile::ReadStatus::NoConfiguration ||
                       result.Status == modKOVFile::ReadStatus::NotANumber,
                   "an existing small file refused for another reason");
        if (result.Status == modKOVFile::ReadStatus::NotANumber)
            FUZZ_CHECK(!result.Key.empty() && !result.Value.empty(), "a refused number without its key and text");
        FUZZ_CHECK(modKOVFile::ReadProblemText(file, result).find(file) != std::string::npos,
                   "the message does not name the file");
        return 0;
    }

    FUZZ_CHECK(modKOVFile::InValidRanges(kov), "a value outside its range");
    FUZZ_CHECK(kov.DeviceType == modKOVFile::DeviceTypeOf(kov.NodeAddress), "device kind and address disagree");
    FUZZ_CHECK(!kov.Description.empty(), "a configuration without a description");
    FUZZ_CHECK(modCodePage::IsValidUtf8(kov.Description), "a description that is not UTF-8");
    FUZZ_CHECK(!HasControls(kov.Description), "a description with control characters");
    FUZZ_CHECK(kov.Description == modKOVFile::NormalizeDescription(kov.Description), "a description not normalised");
    for (const auto& repair : result.Repairs) FUZZ_CHECK(repair.Read != repair.Replaced, "a repair that changed nothing");
    if (kov.NodeAddress >= 0) {
        // A Profibus file's outputs are not read.
        FUZZ_CHECK(kov.S1OnThreshold == fresh.S1OnThreshold && kov.AnalogMax == fresh.AnalogMax &&
                       kov.S2Logic == fresh.S2Logic,
                   "a Profibus configuration took output values from the file");
    }

    // Written to a new file, the set reads back the same.
    clsKOV copy = kov;
    copy.Filename = Folder() + "/copy.kov";
    std::error_code ec;
    fs::remove(copy.Filename, ec);
    std::string error;
    FUZZ_CHECK(modKOVFile::WriteConfigFile(copy, &error), "a configuration that was read cannot be written");
    clsKOV back;
    back.Filename = copy.Filename;
    const modKOVFile::ReadResult again = modKOVFile::ReadConfigFile(back);
    FUZZ_CHECK(again.Ok(), "a written configuration does not read back");
    FUZZ_CHECK(again.Repairs.empty(), "a written configuration needed repairs");
    if (kov.NodeAddress < 0)
        FUZZ_CHECK(modKOVFile::FileEntries(back) == modKOVFile::FileEntries(kov), "the round trip changed values");
    else
        FUZZ_CHECK(back.Description == kov.Description && back.NodeAddress == kov.NodeAddress &&
                       back.AirPressure == kov.AirPressure && back.RainFilter == kov.RainFilter,
                   "the round trip changed values");
    return 0;
}
