// Redaction: what it removes, and what it must leave for every check.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "toolkit/capture/Redaction.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::capture {
namespace {

using profile::MachineProfile;

TEST(RedactText, KeepsTheWordsChecksLookForAndTheLength) {
    EXPECT_EQ(redactText(L"To be filled by O.E.M."), L"Xx xx xxxxxx xx X.X.X.");
    EXPECT_EQ(redactText(L"Xenia2 Parallels-08-00-27"), L"Xenxx1 Xxxxxxxxx-01-00-11");
    // A BIOS serial of exactly "0" is a sign; one of "7" is not and must not become one.
    EXPECT_EQ(redactText(L"0"), L"0");
    EXPECT_EQ(redactText(L"7"), L"1");
}

// Every word of every check, in any case and amid redacted text, stays; and
// redacted characters alone never spell one.
TEST(RedactText, KeepsEveryWordEveryCheckLooksFor) {
    int words = 0;
    utils::vmdetection::forEachSearchWord([&words](const utils::vmdetection::SearchWord& word) {
        ++words;
        std::wstring upper(word.text);
        for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(c));
        for (const std::wstring& form : {std::wstring(word.text), upper}) {
            EXPECT_EQ(redactText(L"Q7" + form + L"z9"), L"X1" + form + L"x1") << word.check;
        }
        EXPECT_NE(word.text.find_first_not_of(L"Xx01"), std::wstring_view::npos) << word.check;
    });
    EXPECT_GT(words, 100);
}

TEST(RedactMacText, DropsTheDevicesHalfOnly) {
    EXPECT_EQ(redactMacText(L"08:00:27:AB:CD:EF"), L"08:00:27:00:00:00");
    EXPECT_EQ(redactMacText(L"00-50-56-C0-00-08"), L"00-50-56-00-00-00");
    // The VirtualBox prefix found in the middle of an address stays findable.
    EXPECT_EQ(redactMacText(L"12:08:00:27:aa:bb"), L"12:08:00:27:00:00");
}

// A table with a system structure (serial, UUID), a base board whose serial
// names VMware, and the end marker.
std::vector<uint8_t> sampleSmbios() {
    std::vector<uint8_t> system(0x1B - 4, 0);
    system[0x04 - 4] = 1;  // manufacturer: string 1
    system[0x05 - 4] = 2;  // product
    system[0x07 - 4] = 3;  // serial number
    for (int i = 0; i < 16; ++i) system[0x08 - 4 + i] = static_cast<uint8_t>(0xA0 + i);
    std::vector<uint8_t> board(0x0F - 4, 0);
    board[0x04 - 4] = 1;
    board[0x07 - 4] = 2;  // serial number
    std::vector<uint8_t> chassis(0x15 - 4, 0);
    chassis[0x04 - 4] = 1;  // manufacturer
    chassis[0x06 - 4] = 2;  // version, beside the serial
    chassis[0x07 - 4] = 3;  // serial number
    return profile::rawSmbiosData({profile::smbiosStructure(1, 1, system, {"QEMU", "Standard PC", "CZC4471WXY"}),
                                   profile::smbiosStructure(2, 2, board, {"Intel", "VMware-42 1a"}),
                                   profile::smbiosStructure(3, 3, chassis, {"Dell Inc.", "Chassis V1", "CHS98765"})});
}

TEST(RedactSmbiosTable, RedactsSerialsAndTheUuidInPlace) {
    const std::vector<uint8_t> original = sampleSmbios();
    std::vector<uint8_t> redacted = original;
    redactSmbiosTable(redacted);
    ASSERT_EQ(redacted.size(), original.size());

    const std::string text(redacted.begin(), redacted.end());
    EXPECT_EQ(text.find("CZC4471WXY"), std::string::npos);
    EXPECT_NE(text.find("XXX1111XXX"), std::string::npos);
    EXPECT_NE(text.find("QEMU"), std::string::npos) << "the manufacturer is not a serial";
    EXPECT_NE(text.find("Standard PC"), std::string::npos);
    EXPECT_NE(text.find("VMware-11 1x"), std::string::npos) << "the pattern inside a serial stays";
    EXPECT_EQ(text.find("CHS98765"), std::string::npos) << "the chassis serial";
    EXPECT_NE(text.find("Chassis V1"), std::string::npos) << "the chassis version is no serial";
    const size_t uuid = 8 + 0x08;
    EXPECT_TRUE(std::all_of(redacted.begin() + uuid, redacted.begin() + uuid + 16, [](uint8_t b) { return b == 0; }));
}

TEST(RedactSmbiosTable, StopsAtABrokenStructure) {
    std::vector<uint8_t> raw = sampleSmbios();
    raw[8 + 1] = 2;  // the first structure claims a length shorter than its header
    const std::vector<uint8_t> before = raw;
    redactSmbiosTable(raw);
    EXPECT_EQ(raw, before);
}

TEST(RedactProfile, RemovesNamesSerialsAndAddressesEverywhere) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    machine.description = "Machine DESKTOP-7QK2M1R (once LAB-PC-0042) as corvane-vmd captured it";
    // The capture's source names the computer as it was called then: that name goes too, WMI or not.
    machine.source = "captured by corvane-vmd capture on LAB-PC-0042 at 2026-01-01T00:00:00Z";
    profile::setWmiValue(machine, L"Win32_ComputerSystem", L"Name", profile::wmiText(L"DESKTOP-7QK2M1R"));
    profile::setWmiValue(machine, L"Win32_ComputerSystem", L"UserName", profile::wmiText(L"CORPNET\\alice.smith"));
    profile::setWmiValue(machine, L"Win32_Processor", L"SystemName", profile::wmiText(L"DESKTOP-7QK2M1R"));
    profile::setWmiValue(machine, L"Win32_BIOS", L"SerialNumber", profile::wmiText(L"5CG1234XYZ"));
    profile::setWmiValue(machine, L"Win32_NetworkAdapterConfiguration", L"MACAddress",
                         profile::wmiText(L"3C:52:82:12:34:56"));
    profile::setWmiValue(machine, L"Win32_NetworkAdapterConfiguration", L"IPAddress",
                         profile::wmiStrings({L"192.168.17.42", L"fe80::1c2b:3a4d"}));
    profile::setWmiValue(machine, L"Win32_PnPEntity", L"DeviceID",
                         profile::wmiText(L"USBSTOR\\DISK&VEN_SANDISK&PROD_ULTRA\\4C530001230715117384&0"));
    profile::setWmiValue(machine, L"Win32_DiskDrive", L"PNPDeviceID",
                         profile::wmiText(L"USBSTOR\\DISK&VEN_KINGSTON&PROD_DT\\0019E06B9C85F9A0&0"));
    profile::addFile(machine, L"C:\\Users\\alice.smith\\AppData\\Local\\vmware\\vmware-tray.log");
    profile::setWmiValue(machine, L"Win32_PnPEntity", L"DeviceID", profile::wmiText(L"ROOT\\WINE\\WINEBUS"), 1);
    machine.adapters.clear();
    profile::addAdapter(machine, "3C:52:82:12:34:56", "Intel(R) Ethernet Connection (7) I219-LM");

    redactProfile(machine);
    std::string json = profile::toJson(machine);
    std::transform(json.begin(), json.end(), json.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* secret : {"desktop-7qk2m1r", "lab-pc-0042", "alice.smith", "corpnet", "5cg1234xyz", "12:34:56",
                               "192.168.17.42", "4c530001230715117384", "0019e06b9c85f9a0"}) {
        EXPECT_EQ(json.find(secret), std::string::npos) << secret;
    }
    EXPECT_NE(json.find("3c:52:82:00:00:00"), std::string::npos) << "the maker's half of the address stays";
    EXPECT_NE(json.find("usbstor\\\\disk&ven_sandisk&prod_ultra\\\\"), std::string::npos) << "the device's kind stays";
    EXPECT_NE(json.find("root\\\\wine\\\\winebus"), std::string::npos) << "a root-enumerated device has no serial";
    EXPECT_NE(json.find("\\\\vmware\\\\vmware-tray.log"), std::string::npos) << "only the user's name goes";
    EXPECT_EQ(machine.adapters.front().address, (std::vector<uint8_t>{0x3C, 0x52, 0x82, 0, 0, 0}));
    EXPECT_NE(machine.source.find("redacted"), std::string::npos);
}

// Names of any length go wherever they stand as a whole word or path
// component, in any case; never inside a longer word, never where Windows
// writes a bus, namespace or drive.
TEST(RedactProfile, RemovesNamesAsWholeWordsOnly) {
    struct Row {
        const wchar_t* computer;
        const wchar_t* user;
        const char* text;
        const char* redacted;
    };
    const Row rows[] = {
        {L"A", L"bob", "Machine A, A:\\x, C:\\Users\\Bob\\Abc.txt, A M I",
         "Machine X, A:\\x, C:\\Users\\Xxx\\Abc.txt, A M I"},
        {L"VM", L"root", "VM vm.lan VMware vmx \\\\VM\\root\\cimv2", "XX xx.lan VMware vmx \\\\XX\\root\\cimv2"},
        {L"VM", L"root", "ROOT\\WINE\\WINEBUS; Enum\\Root\\X; C:\\users\\root; root",
         "ROOT\\WINE\\WINEBUS; Enum\\Root\\X; C:\\users\\xxxx; xxxx"},
        {L"PCI", L"usb", "PCI\\VEN_8086 Id=\"USB\\VID_1\" usb-stick pci",
         "PCI\\VEN_8086 Id=\"USB\\VID_1\" xxx-stick xxx"},
        {L"ana", L"ANA", "ANA\\ana banana Ana-PC", "XXX\\xxx banana Xxx-PC"},
        {L"\u00c5SA-PC", L"J\u00fcrgen", "\u00e5sa-pc J\u00dcRGEN J\u00fcrgens", "xxx-xx XXXXXX J\u00fcrgens"},
        {L"\u0418\u0412\u0410\u041d", L"q", "\u0438\u0432\u0430\u043d/Q", "xxxx/X"},
    };
    for (const Row& row : rows) {
        MachineProfile machine = profile::physicalMachineWithoutSigns();
        profile::setWmiValue(machine, L"Win32_ComputerSystem", L"Name", profile::wmiText(row.computer));
        profile::setWmiValue(machine, L"Win32_ComputerSystem", L"UserName",
                             profile::wmiText(std::wstring(row.computer) + L"\\" + row.user));
        machine.description = row.text;
        redactProfile(machine);
        EXPECT_EQ(machine.description, row.redacted) << row.text;
    }
}

}  // namespace
}  // namespace Corvane::capture
