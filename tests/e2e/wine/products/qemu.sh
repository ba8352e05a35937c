# A KVM guest of a hosting provider with the QEMU guest agent (SMBIOS strings
# and ACPI tables of that real guest; it names QEMU only as the chassis
# maker, and has no base board structure).

machine() {
    nic eth0 52:54:00:12:34:56
    smbios bios_vendor=SeaBIOS bios_version='1.16.0-3.module_el8.7.0+3346+68867adb' bios_date=04/01/2014 \
           sys_vendor='Optimized Hosting' product_name=KVM product_version=0.21.9 product_serial=-- \
           product_sku='Not Specified' product_family='Virtual Machine' \
           board_vendor='Not Specified' board_name='Not Specified' board_version='Not Specified' \
           board_serial='Not Specified' board_asset_tag='Not Specified' \
           chassis_vendor=QEMU chassis_type=1 chassis_version=pc-q35-6.2 chassis_serial=-- chassis_tag=--
    local tables=qemu/linuxhw_kvm_9112EC3CC44C_acpi_bin
    acpi $tables/FACP.bin $tables/APIC.bin $tables/DSDT.bin $tables/MCFG.bin $tables/WAET.bin $tables/FACS.bin
}

guest() {
    tool 'Program Files/Qemu-ga/qemu-ga.exe'
    volatile_key 'HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_key 'HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0'
    reg_sz Identifier 'QEMU    QEMU HARDDISK   2.5+'
    disk_hardware_id 'IDE\DiskQEMU_HARDDISK___________________________2.5+____\5&2fca8e86&0&0.0.0' \
        'IDE\DiskQEMU_HARDDISK___________________________2.5+____' 'IDE\QEMU_HARDDISK___________________________2.5+____' \
        'IDE\DiskQEMU_HARDDISK___________________________' 'GenDisk'
}

expectations() {
    verdict 3 Qemu
    gate GeneralDetection.checkDiskDriveHardwareIds
    decided_by QemuDetection.checkProcesses
    sign GeneralDetection.checkDiskDriveHardwareIds 'hardware ID=IDE\DiskQEMU_HARDDISK___________________________2.5+____'
    wine_general_signs
    wine_detector_signs
    sign QemuDetection.checkProcesses 'process=qemu-ga.exe'
    sign QemuDetection.checkRegistryValues \
        'registry key=HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0' \
        'registry value=Identifier' 'text=QEMU    QEMU HARDDISK   2.5+'
    sign QemuDetection.checkSmbiosTable 'pattern=QEMU'
    sign QemuDetection.checkAcpiTables 'firmware table=ACPI FACP' 'pattern=BOCH'
}
