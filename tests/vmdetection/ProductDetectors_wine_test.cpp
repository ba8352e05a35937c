// The product detectors against plain Wine: the real registry, file system,
// process list, devices and firmware functions of a machine that is no guest.

#include <gtest/gtest.h>

#include "vmdetection/ParallelsDetection.h"
#include "vmdetection/QemuDetection.h"
#include "vmdetection/VMWareDetection.h"
#include "vmdetection/VirtualPCDetection.h"
#include "vmdetection/XenDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

TEST(ProductDetectorsOnWine, NoGuestArtefactIsFound) {
    VMWareDetection vmware;
    EXPECT_FALSE(vmware.checkProcesses());
    EXPECT_FALSE(vmware.checkRegistryKeys());
    EXPECT_FALSE(vmware.checkRegistryValues());
    EXPECT_FALSE(vmware.checkFiles());
    EXPECT_FALSE(vmware.checkDirectories());
    EXPECT_FALSE(vmware.checkDevices());

    QemuDetection qemu;
    EXPECT_FALSE(qemu.checkProcesses());
    EXPECT_FALSE(qemu.checkRegistryValues());  // Wine's HARDWARE\Description\System has no BIOS version

    VirtualPCDetection virtualPc;
    EXPECT_FALSE(virtualPc.detect());

    ParallelsDetection parallels;
    EXPECT_FALSE(parallels.checkProcesses());
    XenDetection xen;
    EXPECT_FALSE(xen.checkProcesses());
}

// Wine enumerates no ACPI table at all, and an empty enumeration is a sign of
// VMware and of QEMU alike (their checks cannot tell it from a failure).
TEST(ProductDetectorsOnWine, TheEmptyAcpiEnumerationIsASignForVMwareAndQemu) {
    VMWareDetection vmware;
    EXPECT_TRUE(vmware.checkAcpiTables());
    QemuDetection qemu;
    EXPECT_TRUE(qemu.checkAcpiTables());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
