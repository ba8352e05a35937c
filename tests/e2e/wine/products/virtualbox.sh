# A VirtualBox 6.1 guest with the Guest Additions installed (SMBIOS strings of
# a real 6.1.4 guest, ACPI tables of a real VirtualBox guest).

machine() {
    # The first row of Win32_NetworkAdapterConfiguration is never examined,
    # so the VirtualBox adapter comes second.
    nic eth0 02:00:00:00:00:01
    nic eth1 08:00:27:12:34:56
    smbios bios_vendor='innotek GmbH' bios_version=VirtualBox bios_date=12/01/2006 \
           sys_vendor='innotek GmbH' product_name=VirtualBox product_version=1.2 product_serial=0 \
           product_sku='Not Specified' product_family='Virtual Machine' \
           board_vendor='Oracle Corporation' board_name=VirtualBox board_version=1.2 board_serial=0 \
           board_asset_tag='Not Specified' \
           chassis_vendor='Oracle Corporation' chassis_type=1 chassis_version='Not Specified' \
           chassis_serial='Not Specified' chassis_tag='Not Specified'
    acpi virtualbox/ozone_vbox_FACP.aml virtualbox/ozone_vbox_APIC.aml virtualbox/ozone_vbox_DSDT.aml \
         virtualbox/ozone_vbox_SSDT.aml virtualbox/ozone_vbox_FACS.aml
}

guest() {
    tool windows/system32/vboxservice.exe
    tool windows/system32/vboxtray.exe --pipe VBoxTrayIPC --window VBoxTrayToolWndClass VBoxTrayToolWnd
    file windows/system32/drivers/VBoxMouse.sys
    file windows/system32/drivers/VBoxGuest.sys
    folder 'Program Files/Oracle/VirtualBox Guest Additions'
    network_provider VBoxSF 'VirtualBox Shared Folders' system32/vboxmrxnp.dll

    volatile_key 'HARDWARE\ACPI\DSDT\VBOX__\VBOXBIOS\00000002'
    volatile_key 'HARDWARE\ACPI\FADT\VBOX__\VBOXFACP\00000001'
    volatile_key 'HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_key 'HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_sz Identifier 'VBOX HARDDISK   1.0 '
    reg_key 'HKLM\HARDWARE\Description\System'
    reg_multi_sz SystemBiosVersion 'VBOX   - 1' 'VirtualBox'
    reg_sz SystemBiosDate 06/23/99
    reg_key 'HKLM\SOFTWARE\Oracle\VirtualBox Guest Additions'
    reg_sz Version 6.1.4
    reg_key 'HKLM\SYSTEM\ControlSet001\Services\VBoxGuest'
    reg_key 'HKLM\SYSTEM\ControlSet001\Services\VBoxService'
    disk_hardware_id 'IDE\DiskVBOX_HARDDISK___________________________1.0_____\42562d3539356264313235322d3965343932366137' \
        'IDE\DiskVBOX_HARDDISK___________________________1.0_____' 'IDE\VBOX_HARDDISK___________________________1.0_____' \
        'IDE\DiskVBOX_HARDDISK___________________________' 'GenDisk'
    # The guest's PCI device, as Windows enumerates it.
    reg_key 'HKLM\SYSTEM\CurrentControlSet\Enum\PCI\VEN_80EE&DEV_CAFE&SUBSYS_00000000&REV_00\3&267a616a&0&20'
    reg_sz ClassGUID '{4d36e97d-e325-11ce-bfc1-08002be10318}'
    reg_multi_sz HardwareID 'PCI\VEN_80EE&DEV_CAFE&SUBSYS_00000000&REV_00' 'PCI\VEN_80EE&DEV_CAFE'
}

expectations() {
    verdict 4 VirtualBox
    gate GeneralDetection.checkDiskDriveHardwareIds
    decided_by VirtualBoxDetection.checkProcesses
    sign GeneralDetection.checkDiskDriveHardwareIds 'hardware ID=IDE\DiskVBOX_HARDDISK___________________________1.0_____'
    sign GeneralDetection.checkComputerSystemModel 'WMI value=VirtualBox'
    sign GeneralDetection.checkComputerSystemManufacturer 'WMI value=innotek GmbH'
    wine_general_signs
    wine_detector_signs
    sign VirtualBoxDetection.checkProcesses 'process=vboxservice.exe'
    sign VirtualBoxDetection.checkMacAddresses 'MAC address=08:00:27:12:34:56'
    sign VirtualBoxDetection.checkWmiMacAddresses 'WMI class=Win32_NetworkAdapterConfiguration' 'WMI value=08:00:27:12:34:56'
    sign VirtualBoxDetection.checkRegistryKeys 'registry key=HKLM\HARDWARE\ACPI\DSDT\VBOX__'
    sign VirtualBoxDetection.checkRegistryValues \
        'registry key=HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0' \
        'registry value=Identifier' 'text=VBOX HARDDISK   1.0 '
    sign VirtualBoxDetection.checkSmbiosTable 'pattern=VirtualBox'
    sign VirtualBoxDetection.checkAcpiTables 'firmware table=ACPI FACP' 'pattern=VBOX'
    sign VirtualBoxDetection.checkFiles 'file=C:\windows\System32\drivers\VBoxMouse.sys'
    sign VirtualBoxDetection.checkDirectories 'folder=C:\Program Files\oracle\virtualbox guest additions\'
    sign VirtualBoxDetection.checkDevices 'device=\\.\pipe\VBoxTrayIPC'
    sign VirtualBoxDetection.checkWindows 'window=class VBoxTrayToolWndClass' 'window=title VBoxTrayToolWnd'
    sign VirtualBoxDetection.checkNetworkProviders 'network provider=VirtualBox Shared Folders'
    sign VirtualBoxDetection.checkWmiPciDeviceId 'WMI class=Win32_PnPEntity'
    sign VirtualBoxDetection.checkWmiBaseBoard 'WMI value=VirtualBox'
}
