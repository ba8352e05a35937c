# A Parallels Desktop guest with Parallels Tools (SMBIOS strings of a real
# guest; ACPI tables with the header values Parallels writes, since no raw
# Parallels table with a clear licence was found).

machine() {
    nic eth0 00:1c:42:1f:2a:03
    smbios bios_vendor='Parallels Software International Inc.' bios_version=6.0.11992.625164 bios_date=10/26/2007 \
           sys_vendor='Parallels Software International Inc.' product_name='Parallels Virtual Platform' \
           product_version=None product_serial='Parallels-1C 6B FF 34 0F 96 46 DF A0 F6 60 D1 53 56 B8 5A' \
           product_sku='Not Specified' product_family='Not Specified' \
           board_vendor='Parallels Software International Inc.' board_name='Parallels Virtual Platform' \
           board_version=None board_serial=None board_asset_tag='Not Specified' \
           chassis_vendor='Parallels Software International Inc.' chassis_type=2 chassis_version='Not Specified' \
           chassis_serial='Not Specified' chassis_tag='Not Specified'
    acpi parallels/synthetic_parallels_FACP.aml parallels/synthetic_parallels_APIC.aml \
         parallels/synthetic_parallels_DSDT.aml
}

guest() {
    tool 'Program Files/Parallels/Parallels Tools/prl_cc.exe'
    tool 'Program Files/Parallels/Parallels Tools/prl_tools.exe'
}

expectations() {
    verdict 2 Parallels
    gate GeneralDetection.checkBiosSerialNumber
    decided_by ParallelsDetection.checkProcesses
    wine_general_signs
    wine_detector_signs
    sign ParallelsDetection.checkProcesses 'process=prl_cc.exe'
    sign ParallelsDetection.checkMacAddresses 'MAC address=00:1C:42:1F:2A:03'
}
