# A Xen HVM guest (RHEL 5 host) with the Xen guest service (SMBIOS strings of
# a real guest; ACPI tables with the header values Xen's hvmloader writes).
# The Xen detector is asked after the Wine detector, so this prefix hides
# Wine's two signs to let the Xen verdict show.

machine() {
    nic eth0 00:16:3e:5a:11:02
    smbios bios_vendor=Xen bios_version=3.1.2-238.el5 bios_date=11/24/2010 \
           sys_vendor='Red Hat' product_name='HVM domU' product_version=3.1.2-238.el5 \
           product_serial=5ad07c4a-6de5-e601-46f2-afc24984a3c0 product_sku='Not Specified' \
           product_family='Red Hat Enterprise Linux' \
           board_vendor='Not Specified' board_name='Not Specified' board_version='Not Specified' \
           board_serial='Not Specified' board_asset_tag='Not Specified' \
           chassis_vendor='Red Hat' chassis_type=1 chassis_version='Not Specified' \
           chassis_serial='Not Specified' chassis_tag='Not Specified'
    acpi xen/synthetic_xen_FACP.aml xen/synthetic_xen_APIC.aml xen/synthetic_xen_DSDT.aml xen/synthetic_xen_HPET.aml
    hide_wine
}

guest() {
    tool 'Program Files/Citrix/XenTools/xenservice.exe'
}

expectations() {
    verdict 8 Xen
    gate GeneralDetection.checkBiosSerialNumber
    decided_by XenDetection.checkProcesses
    sign GeneralDetection.checkComputerSystemModel 'WMI value=HVM domU'
    wine_general_signs
    sign XenDetection.checkProcesses 'process=xenservice.exe'
    sign XenDetection.checkMacAddresses 'MAC address=00:16:3E:5A:11:02'
}
