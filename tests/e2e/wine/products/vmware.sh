# A VMware ESX 4.1 guest with VMware Tools (SMBIOS strings of a real ESX 4.1
# guest; ACPI tables with the header values VMware writes, since no raw
# VMware table with a clear licence was found).

machine() {
    # The adapter description Wine shows is the interface's name.
    nic VMWare 00:50:56:a1:b2:c3
    smbios bios_vendor='Phoenix Technologies LTD' bios_version=6.00 bios_date=10/13/2009 \
           sys_vendor='VMware, Inc.' product_name='VMware Virtual Platform' product_version=None \
           product_serial='VMware-56 4d bc 2c 0f c9 1f 2a-bd d6 7e 67 43 6b 35 41' \
           product_sku='Not Specified' product_family='Not Specified' \
           board_vendor='Intel Corporation' board_name='440BX Desktop Reference Platform' board_version=None \
           board_serial=None board_asset_tag='Not Specified' \
           chassis_vendor='No Enclosure' chassis_type=1 chassis_version=N/A chassis_serial=None \
           chassis_tag='No Asset Tag'
    acpi vmware/synthetic_vmware_FACP.aml vmware/synthetic_vmware_APIC.aml vmware/synthetic_vmware_DSDT.aml \
         vmware/synthetic_vmware_SRAT.aml vmware/synthetic_vmware_HPET.aml vmware/synthetic_vmware_WAET.aml
}

guest() {
    tool 'Program Files/VMware/VMware Tools/vmtoolsd.exe'
    file windows/system32/drivers/vmmouse.sys
    file windows/system32/drivers/vmhgfs.sys
    device HGFS

    volatile_key 'HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_key 'HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_sz Identifier 'VMware  Virtual disk    1.0 '
    reg_key 'HKLM\SOFTWARE\VMware, Inc.\VMware Tools'
    reg_sz InstallPath 'C:\Program Files\VMware\VMware Tools\'
    reg_key 'HKLM\SYSTEM\ControlSet001\Control\SystemInformation'
    reg_sz SystemManufacturer 'VMware, Inc.'
    reg_sz SystemProductName 'VMware Virtual Platform'
    disk_hardware_id 'IDE\DiskVMware_Virtual_IDE_Hard_Drive___________00000001\3030303030303030303030303030303030303130' \
        'IDE\DiskVMware_Virtual_IDE_Hard_Drive___________00000001' 'IDE\VMware_Virtual_IDE_Hard_Drive___________00000001' \
        'IDE\DiskVMware_Virtual_IDE_Hard_Drive___________' 'GenDisk'
}

expectations() {
    verdict 6 VMWare
    gate GeneralDetection.checkDiskDriveHardwareIds
    decided_by VMWareDetection.checkAdapterDescriptions
    sign GeneralDetection.checkDiskDriveHardwareIds 'hardware ID=IDE\DiskVMware_Virtual_IDE_Hard_Drive___________00000001'
    sign GeneralDetection.checkComputerSystemModel 'WMI value=VMware Virtual Platform'
    sign GeneralDetection.checkComputerSystemManufacturer 'WMI value=VMware, Inc.'
    wine_general_signs
    wine_detector_signs
    sign VMWareDetection.checkAdapterDescriptions 'adapter description=VMWare'
    sign VMWareDetection.checkProcesses 'process=vmtoolsd.exe'
    sign VMWareDetection.checkMacAddresses 'MAC address=00:50:56:A1:B2:C3'
    sign VMWareDetection.checkRegistryKeys 'registry key=HKLM\SOFTWARE\VMware, Inc.\VMware Tools'
    sign VMWareDetection.checkRegistryValues \
        'registry key=HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0' \
        'registry value=Identifier' 'text=VMware  Virtual disk    1.0 '
    sign VMWareDetection.checkSmbiosTable 'pattern=VMware'
    sign VMWareDetection.checkAcpiTables 'firmware table=ACPI SRAT' 'pattern=VMWARE'
    sign VMWareDetection.checkFiles 'file=C:\windows\System32\drivers\vmmouse.sys'
    sign VMWareDetection.checkDirectories 'folder=C:\Program Files\VMWare\'
    sign VMWareDetection.checkDevices 'device=\\.\HGFS'
}
