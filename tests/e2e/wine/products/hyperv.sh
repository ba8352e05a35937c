# A Hyper-V generation 2 guest with 512 MiB of memory and the Virtual Machine
# Additions' services (SMBIOS strings of a real Hyper-V guest, ACPI tables of
# a real generation 2 guest).

machine() {
    nic eth0 00:15:5d:01:02:03
    smbios bios_vendor='American Megatrends Inc.' bios_version=080002 bios_date=05/05/2008 \
           sys_vendor='Microsoft Corporation' product_name='Virtual Machine' product_version=5.0 \
           product_serial=9531-7949-1919-0512-8596-0146-27 product_sku='Not Specified' product_family='Not Specified' \
           board_vendor='Microsoft Corporation' board_name='Virtual Machine' board_version=5.0 \
           board_serial=9531-7949-1919-0512-8596-0146-27 board_asset_tag='Not Specified' \
           chassis_vendor='Microsoft Corporation' chassis_type=3 chassis_version=5.0 \
           chassis_serial=9531-7949-1919-0512-8596-0146-27 chassis_tag=4703-2669-3135-1081-7372-7632-77
    memory 512
    acpi hyperv/mouri_hvgen2_facp.dat hyperv/mouri_hvgen2_apic.dat hyperv/mouri_hvgen2_dsdt.dat \
         hyperv/mouri_hvgen2_srat.dat hyperv/mouri_hvgen2_waet.dat
}

guest() {
    tool 'Program Files/Virtual Machine Additions/VMSrvc.exe'
    tool 'Program Files/Virtual Machine Additions/VMUSrvc.exe'
    reg_key 'HKLM\SOFTWARE\Microsoft\Virtual Machine\Guest\Parameters'
    reg_sz HostName hyperv-host
    reg_sz VirtualMachineName guest
}

expectations() {
    verdict 5 Hyper-V
    gate GeneralDetection.checkMemorySize
    decided_by VirtualPCDetection.checkProcesses
    # Wine counts whole pages below the top one: 512 MiB less 4 KiB.
    sign GeneralDetection.checkMemorySize 'memory size=536866816 bytes'
    wine_general_signs
    wine_detector_signs
    sign VirtualPCDetection.checkProcesses 'process=VMSrvc.exe'
    sign VirtualPCDetection.checkRegistryKeys 'registry key=HKLM\SOFTWARE\Microsoft\Virtual Machine\Guest\Parameters'
}
