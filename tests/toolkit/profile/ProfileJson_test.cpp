#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::profile {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string withHeader(const std::string& body) {
    return R"({"format": "corvane-machine-profile", "version": 1)" + (body.empty() ? "" : ", " + body) + "}";
}

// The message of the ProfileError that parsing `json` throws ("" when it parses).
std::string errorOf(const std::string& json) {
    try {
        parseProfile(json);
    } catch (const ProfileError& e) {
        return e.what();
    }
    return "";
}

TEST(ProfileJson, RoundTripIsStable) {
    auto original = physicalMachineWithoutSigns();
    addRawValue(addRegistryKey(original, L"HKLM", L"SOFTWARE\\Odd"), L"Binary", 3, {1, 2, 3});
    addRawValue(addRegistryKey(original, L"HKLM", L"SOFTWARE\\Odd"), L"Unterminated", 1, {0x41, 0x00});
    original.firmware.acpiTables.push_back({0x01020304, {9, 9}});
    original.wmi.faults.nextByClass[L"Win32_Bus"] = static_cast<int32_t>(0x80041001);
    original.adapters[0].addressLength = 8;

    auto text = toJson(original);
    auto parsed = parseProfile(text);
    EXPECT_EQ(toJson(parsed), text);

    EXPECT_EQ(parsed.registry.size(), original.registry.size());
    EXPECT_EQ(parsed.registry.back().values[1].data, (std::vector<uint8_t>{0x41, 0x00}));
    EXPECT_EQ(parsed.firmware.rawSmbios, original.firmware.rawSmbios);
    EXPECT_EQ(parsed.firmware.acpiTables.back().id, 0x01020304u);
    EXPECT_EQ(parsed.adapters[0].addressLength, 8u);
    EXPECT_EQ(parsed.adapters[0].address, original.adapters[0].address);
    EXPECT_EQ(parsed.wmi.faults.nextByClass.at(L"Win32_Bus"), static_cast<int32_t>(0x80041001));
    ASSERT_EQ(parsed.wmi.classes.size(), original.wmi.classes.size());
    EXPECT_EQ(parsed.wmi.classes[0].rows[0].properties[0].first, original.wmi.classes[0].rows[0].properties[0].first);
}

TEST(ProfileJson, RegistryValueFormsBecomeTheBytesWindowsReturns) {
    auto p = parseProfile(withHeader(R"("registry": [{"root": "HKLM", "path": "HARDWARE\\Description\\System", "values": [
        {"name": "SystemBiosDate", "data": "06/23/99"},
        {"name": "SystemBiosVersion", "type": "REG_MULTI_SZ", "data": ["VBOX - 1", "x"]},
        {"name": "Count", "data": 258},
        {"name": "Big", "type": "REG_QWORD", "data": 4294967296},
        {"name": "Raw", "type": "REG_SZ", "data": {"hex": "41 00 42"}}]}])"));
    const auto& values = p.registry.at(0).values;
    EXPECT_EQ(values[0].type, 1u);
    EXPECT_EQ(values[0].data, registryStringBytes(L"06/23/99"));
    EXPECT_EQ(values[0].data.size(), 18u);  // eight characters and the NUL, two bytes each
    EXPECT_EQ(values[1].type, 7u);
    EXPECT_EQ(values[1].data, registryMultiStringBytes({L"VBOX - 1", L"x"}));
    EXPECT_EQ(values[2].type, 4u);
    EXPECT_EQ(values[2].data, (std::vector<uint8_t>{2, 1, 0, 0}));
    EXPECT_EQ(values[3].data, (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(values[4].data, (std::vector<uint8_t>{0x41, 0x00, 0x42}));
}

TEST(ProfileJson, AdaptersFirmwareAndWmiValuesReadAsWritten) {
    auto p = parseProfile(withHeader(R"(
        "adapters": [{"description": "Intel", "address": "08:00:27:12:34:56", "addressLength": 4}],
        "firmware": {"rawSmbios": {"base64": "AAECAw=="}, "acpiTables": [{"id": "DSDT", "data": {"hex": "00"}}, {"id": 7, "data": {"hex": ""}}],
                     "acpiEnumerationResult": 0},
        "wmi": {"classes": [{"name": "Win32_Test", "known": false, "rows": [
            {"Zeta": "text", "Alpha": 5, "Flag": true, "Nothing": null, "List": ["a", "b"], "Wide": {"vt": 21, "value": 42}}]}],
            "faults": {"coInitializeEx": "RPC_E_CHANGED_MODE", "execQueryByClass": {"Win32_Bus": "0x80041010"}}})"));
    EXPECT_EQ(p.adapters[0].address, (std::vector<uint8_t>{0x08, 0x00, 0x27, 0x12, 0x34, 0x56}));
    EXPECT_EQ(p.adapters[0].addressLength, 4u);
    EXPECT_EQ(*p.firmware.rawSmbios, (std::vector<uint8_t>{0, 1, 2, 3}));
    EXPECT_EQ(p.firmware.acpiTables[0].id, 0x54445344u);  // "DSDT" as EnumSystemFirmwareTables lists it
    EXPECT_EQ(p.firmware.acpiTables[1].id, 7u);
    EXPECT_EQ(p.firmware.acpiEnumerationResult, 0u);
    const auto& wmiClass = p.wmi.classes.at(0);
    EXPECT_FALSE(wmiClass.known);
    const auto& row = wmiClass.rows.at(0).properties;
    ASSERT_EQ(row.size(), 6u);
    EXPECT_EQ(row[0].first, L"Zeta");  // the order of the file, not alphabetical
    EXPECT_EQ(row[0].second.vt, 8);
    EXPECT_EQ(row[1].second.vt, 3);
    EXPECT_EQ(row[1].second.integer, 5);
    EXPECT_EQ(row[2].second.vt, 11);
    EXPECT_EQ(row[2].second.integer, -1);
    EXPECT_EQ(row[3].second.vt, 1);
    EXPECT_EQ(row[4].second.vt, 0x2008);
    EXPECT_EQ(row[4].second.strings, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(row[5].second.vt, 21);
    EXPECT_EQ(row[5].second.integer, 42);
    EXPECT_EQ(p.wmi.faults.coInitializeEx, static_cast<int32_t>(0x80010106));
    EXPECT_EQ(p.wmi.faults.execQueryByClass.at(L"Win32_Bus"), static_cast<int32_t>(0x80041010));
}

TEST(ProfileJson, SectionsDefaultWhenAbsent) {
    auto p = parseProfile(withHeader(""));
    EXPECT_EQ(p.system.windowsDirectory, L"C:\\Windows");
    EXPECT_EQ(p.system.totalPhysicalMemory, 17179869184ull);
    EXPECT_TRUE(p.firmware.functionsPresent);
    EXPECT_FALSE(p.firmware.rawSmbios);
    EXPECT_TRUE(p.registry.empty());
    auto noMemory = parseProfile(withHeader(R"("system": {"totalPhysicalMemory": null})"));
    EXPECT_FALSE(noMemory.system.totalPhysicalMemory);
}

TEST(ProfileJson, FirmwareFileIsReadRelativeToTheProfile) {
    auto folder = std::filesystem::temp_directory_path() / "corvane-profile-test";
    std::filesystem::create_directories(folder / "tables");
    {
        std::ofstream(folder / "tables" / "dsdt.bin", std::ios::binary) << "VBOX";
        std::ofstream(folder / "machine.json") << withHeader(R"("firmware": {"acpiTables": [{"id": "DSDT", "data": {"file": "tables/dsdt.bin"}}]})");
    }
    auto p = loadProfileFile(folder / "machine.json");
    EXPECT_EQ(p.firmware.acpiTables.at(0).data, (std::vector<uint8_t>{'V', 'B', 'O', 'X'}));
    std::filesystem::remove_all(folder);
}

TEST(ProfileJson, ErrorsNameTheField) {
    EXPECT_EQ(errorOf(R"({"format": "corvane-machine-profile", "version": 7})"),
              "profile: /version: unsupported version 7 (this build reads version 1)");
    EXPECT_THAT(errorOf(withHeader(R"("registry": [{"root": "HKLM", "path": "x", "values": [{"type": "REG_WHATEVER", "data": "x"}]}])")),
                StartsWith("profile: /registry/0/values/0/type: expected one of REG_NONE, REG_SZ, REG_EXPAND_SZ"));
    EXPECT_THAT(errorOf(withHeader(R"("registry": [{"root": "HKLM", "path": "x", "values": [{"type": "REG_DWORD", "data": "text"}]}])")),
                StartsWith("profile: /registry/0/values/0/data: a string needs type REG_SZ"));
    EXPECT_THAT(errorOf(withHeader(R"("registry": [{"root": "HKCR", "path": "x"}])")), StartsWith("profile: /registry/0/root:"));
    EXPECT_THAT(errorOf(withHeader(R"("adapters": [{"address": "08:00:2"}])")), StartsWith("profile: /adapters/0/address: expected a MAC address"));
    EXPECT_THAT(errorOf(withHeader(R"("system": {"wow64": "yes"})")), StartsWith("profile: /system/wow64: expected true or false, got a string"));
    EXPECT_THAT(errorOf(withHeader(R"("system": {"wow46": true})")), StartsWith("profile: /system/wow46: unknown field"));
    EXPECT_THAT(errorOf(withHeader(R"("firmware": {"acpiTables": [{"id": "DSD", "data": {"hex": ""}}]})")),
                StartsWith("profile: /firmware/acpiTables/0/id: expected a 4-letter signature"));
    EXPECT_THAT(errorOf(withHeader(R"("firmware": {"rawSmbios": {"hex": "abc"}})")), StartsWith("profile: /firmware/rawSmbios/hex:"));
    EXPECT_THAT(errorOf(withHeader(R"("files": [{"path": "C:\\x", "kind": "error"}])")), StartsWith("profile: /files/0: kind \"error\" needs"));
    EXPECT_THAT(errorOf(withHeader(R"("wmi": {"faults": {"connectServer": "NOT_A_CODE"}})")), StartsWith("profile: /wmi/faults/connectServer:"));
    EXPECT_THAT(errorOf(R"({"version": 1})"), StartsWith("profile: /format: missing required field"));
    EXPECT_EQ(errorOf("[]"), "profile: /: expected an object, got an array");
}

TEST(ProfileJson, MalformedJsonIsOneLineProfileError) {
    for (std::string text : {std::string(""), std::string(R"({"format": "corvane-machine-profile", "vers)"), std::string("{\n\"a\": [1,\n"),
                             std::string("\xFF\xFE")}) {
        auto message = errorOf(text);
        EXPECT_THAT(message, StartsWith("profile: malformed JSON")) << text;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

TEST(ProfileJson, MissingFileNamesIt) {
    try {
        loadProfileFile("no-such-folder/none.json");
        FAIL() << "no error";
    } catch (const ProfileError& e) {
        EXPECT_THAT(e.what(), HasSubstr("none.json"));
    }
}

TEST(ProfileJson, AcpiSignaturesAndMacAddresses) {
    EXPECT_EQ(acpiTableId("DSDT"), 0x54445344u);
    EXPECT_EQ(acpiTableId("FACP"), 0x50434146u);
    EXPECT_EQ(acpiSignature(0x54445344u), "DSDT");
    EXPECT_EQ(acpiSignature(0x01020304u), "");
    EXPECT_EQ(parseMacAddress("08-00-27-AB-cd-EF"), (std::vector<uint8_t>{0x08, 0x00, 0x27, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(formatMacAddress({0x08, 0x00, 0x27}), "08:00:27");
    EXPECT_THROW(parseMacAddress("08:00:27:"), ProfileError);
    EXPECT_THROW(parseMacAddress("0800.27"), ProfileError);
}

}  // namespace
}  // namespace Corvane::profile
