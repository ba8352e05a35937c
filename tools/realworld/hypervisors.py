"""Which reports come from a virtual machine, told from the report's own System
Information (SMBIOS type 1): its manufacturer and product name, as the
hypervisors fill them in. Our verdicts play no part in it."""

import re

# (hypervisor, manufacturer pattern, product pattern); either may be None. First match wins.
KNOWN = [
    ("KVM", None, r"\bKVM\b"),
    ("QEMU", r"^QEMU$", None),
    ("Bochs", r"^Bochs$", None),
    ("VirtualBox", r"^innotek GmbH$", None),
    ("VirtualBox", None, r"^VirtualBox$"),
    ("VMware", r"^VMware", None),
    ("Hyper-V", r"^Microsoft Corporation$", r"^Virtual Machine$"),
    ("Xen", r"^Xen$", None),
    ("Xen", None, r"^HVM domU$"),
    ("Parallels", r"^Parallels", None),
    ("bhyve", r"^BHYVE$", None),
    ("OpenStack", r"^OpenStack Foundation$", None),
    ("Google Compute Engine", r"^Google$", r"^Google Compute Engine$"),
    ("Amazon EC2", r"^Amazon EC2$", None),
]


def system_information(dmidecode):
    """(manufacturer, product name) of the first System Information block; "" where absent."""
    fields = {}
    inside = False
    for line in dmidecode.splitlines():
        if line.strip() == "System Information":
            inside = True
            continue
        if inside:
            if not line.startswith("\t"):
                if fields:
                    break
                continue
            name, _, value = line.strip().partition(":")
            fields.setdefault(name.strip(), value.strip())
    return fields.get("Manufacturer", ""), fields.get("Product Name", "")


def identify(dmidecode):
    """The hypervisor the report's System Information names, or None for a physical machine."""
    manufacturer, product = system_information(dmidecode)
    for name, maker, model in KNOWN:
        if maker and not re.search(maker, manufacturer, re.IGNORECASE):
            continue
        if model and not re.search(model, product, re.IGNORECASE):
            continue
        return name
    return None
