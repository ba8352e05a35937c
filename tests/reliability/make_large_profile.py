#!/usr/bin/env python3
"""Writes a large valid machine profile: a corpus profile grown with many
processes, registry values and WMI rows, to about SIZE_MB megabytes.

    make_large_profile.py BASE.json OUT.json SIZE_MB
"""
import json
import sys

base, out, size_mb = sys.argv[1], sys.argv[2], float(sys.argv[3])
profile = json.load(open(base, encoding="utf-8"))
profile["description"] = "a large machine: " + profile["description"]
# Each round adds about 1 MB: 1,500 processes, 600 registry keys, 1,000 WMI rows; 40 rounds stay
# within the reader's 65,536 entries of one array.
rows = []
profile["wmi"]["classes"].append({"name": "Win32_PnPEntity", "rows": rows})
for round in range(max(1, int(size_mb))):
    for i in range(1500):
        profile["processes"].append({"pid": 100000 + round * 8000 + i * 4, "exeName": f"service-{round}-{i}.exe"})
    for i in range(600):
        profile["registry"].append({"root": "HKLM", "path": f"SOFTWARE\\Vendor{round}\\Product{i}",
                                    "values": [{"name": "DisplayName", "data": f"Product {round}.{i} of a vendor"},
                                               {"name": "Count", "data": i},
                                               {"name": "Blob", "type": "REG_BINARY", "data": {"hex": "00" * 64}}]})
    for i in range(1000):
        rows.append({"Name": f"Device {round}.{i}", "DeviceID": f"PCI\\VEN_8086&DEV_{i:04X}\\3&11583659&0&{round:02X}",
                     "Manufacturer": "A maker of devices", "Status": "OK", "ConfigManagerErrorCode": 0})
with open(out, "w", encoding="utf-8") as f:
    json.dump(profile, f, indent=2)
