# Plain Wine: no dressing, no adapters, no DMI strings, and Wine's own empty
# ACPI enumeration.  The BIOS serial "0" opens the gate, and the empty ACPI
# enumeration makes VirtualBox, the first detector asked, claim the machine
# before the Wine detector is reached.

machine() {
    no_smbios
}

guest() { :; }

expectations() {
    verdict 4 VirtualBox
    gate GeneralDetection.checkBiosSerialNumber
    decided_by VirtualBoxDetection.checkAcpiTables
    wine_general_signs
    wine_detector_signs
    sign VirtualBoxDetection.checkAcpiTables 'ACPI enumeration=0 bytes'
    sign VMWareDetection.checkAcpiTables 'ACPI enumeration=0 bytes'
    sign QemuDetection.checkAcpiTables 'ACPI enumeration=0 bytes'
}
