"""The firmware-report study: public hardware reports (linuxhw/DMI, linuxhw/ACPI)
and the reports of the hypervisor firmware booted here, converted to machine
profiles and replayed through the library's own checks.

Run it with tools/realworld-study COMMAND (or `python3 -m realworld COMMAND` from tools/).
"""
