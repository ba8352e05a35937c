// The flags and fixed arguments the library hands to Windows, for every call
// of a whole detection in which every check of every detector runs: any flag
// more or less than these fails.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::utils::vmdetection {
namespace {

// KEY_READ with no WOW64 view flag; GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
// and FILE_ATTRIBUTE_NORMAL for devices and pipes; no access, all sharing,
// OPEN_EXISTING and FILE_FLAG_BACKUP_SEMANTICS for the status of a path.
const std::map<std::string, std::string> kExpected = {
    {"RegOpenKeyExW", "options=0 access=0x00020019"},
    {"CreateFileW device", "access=0x80000000 share=0x00000001 disposition=3 flags=0x00000080"},
    {"CreateFileW path", "access=0x00000000 share=0x00000007 disposition=3 flags=0x02000000"},
    {"CoInitializeSecurity",
     "descriptor=null authServices=-1/null reserved1=null authnLevel=0 impLevel=3 authList=null "
     "capabilities=0x00000000 reserved3=null"},
    {"CoSetProxyBlanket",
     "authnService=10 authzService=0 principal=null authnLevel=3 impLevel=3 identity=null "
     "capabilities=0x00000000"},
    {"ConnectServer", "locale=MS_409 flags=0x00000080"},
    {"ExecQuery", "language=WQL flags=0x00000030"},
    {"Next", "timeout=0xFFFFFFFF count=1"},
};

class Win32Flags : public Corvane::testing::SimulatedMachineTest {};

TEST_F(Win32Flags, AreExactlyTheDocumentedOnesOnEveryCall) {
    profile.system.totalPhysicalMemory = 512ull << 20;  // a general sign, then every product check runs
    profile::addFile(profile, L"C:\\Windows\\System32\\drivers\\vmnet.sys\\inner.txt");  // a folder named like a driver
    auto& machine = start();
    {
        VMDetectionManager manager;
        manager.runDetection();
        EXPECT_EQ(manager.resultType(), 1);
    }
    std::set<std::string> seen;
    for (const auto& call : machine.calls()) {
        std::string kind = call.function;
        if (kind == "CreateFileW") kind += call.argument.rfind("\\\\.\\", 0) == 0 ? " device" : " path";
        auto expected = kExpected.find(kind);
        if (expected == kExpected.end()) continue;
        seen.insert(kind);
        EXPECT_EQ(call.flags, expected->second) << kind << "(" << call.argument << ")";
    }
    for (const auto& [kind, flags] : kExpected) EXPECT_TRUE(seen.count(kind)) << kind << " was never called";
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
