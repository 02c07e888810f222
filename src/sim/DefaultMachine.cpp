// The machine Voran simulates when it is started without --sim or
// --hardware.  It is written in the same format as a machine file, so the
// text below is also the fullest example of that format.
#include "sim/SimSpec.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

// Drives (model names are invented):
//   01F0 master  SD-8000 HEALTHY   8 GiB, 48-bit, no defects
//   01F0 slave   SD-4000L LBA28    4 GiB, 28-bit only, security supported
//   0170 master  SD-6000X DEFECTS  6 GiB, every time class and error class
//   0170 slave   SD-6000H HPA      host protected area in use, SMART off
//   D000 master  SD-3000T HUGE     3 TB (more than 2^32 sectors)
//   D000 slave   SD-2000S LOCKED   locked by a user password, level high
//   D800 master  SD-1000N NOSMART  no SMART, no security, no HPA
//   C000 master  SD-5000M MAXLOCK  locked by a user password, level maximum
const char* const kDefaultMachineJson = R"json(
{
  "pci": [
    { "address": "00:00.0", "id": "8086:7190", "class": "0600" },
    { "address": "00:01.0", "id": "8086:7110", "class": "0601", "multiFunction": true },
    { "address": "00:01.1", "id": "8086:7111", "class": "0101", "progIf": "80",
      "bars": ["", "", "", "", "F001", ""],
      "primary": {
        "master": {
          "model": "SIMDISK SD-8000 HEALTHY", "serial": "SD8K0A1B2C3", "firmware": "HC1.04",
          "sectors": 16777216, "lba48": true, "ataVersion": 7, "udma": "203F", "aam": 128,
          "eraseWord": 12, "enhancedEraseWord": 14, "eraseScale": 0.001,
          "security": { "password": "", "master": "SIMMASTER" },
          "temperature": 34,
          "zones": [ { "to": 0.3, "ms": 0.8 }, { "to": 0.6, "ms": 1.0 },
                     { "to": 0.85, "ms": 1.3 }, { "to": 1.0, "ms": 1.6 } ]
        },
        "slave": {
          "model": "SIMDISK SD-4000L LBA28", "serial": "SD4L77F0012", "firmware": "L2.11",
          "sectors": 8388608, "lba48": false, "ataVersion": 5, "udma": "041F", "apm": false,
          "eraseWord": 15, "enhancedEraseWord": 0, "eraseScale": 0.001,
          "security": { "password": "", "master": "SIMMASTER", "enhancedErase": false },
          "temperature": 41,
          "zones": [ { "to": 0.5, "ms": 1.6 }, { "to": 1.0, "ms": 2.4 } ]
        }
      },
      "secondary": {
        "master": {
          "model": "SIMDISK SD-6000X DEFECTS", "serial": "SD6X0BAD001", "firmware": "X3.00",
          "sectors": 12582912, "lba48": true, "ataVersion": 7, "udma": "103F", "aam": 254,
          "eraseWord": 20, "enhancedEraseWord": 25, "eraseScale": 0.001,
          "security": { "password": "", "master": "SIMMASTER" },
          "temperature": 47,
          "zones": [ { "to": 0.5, "ms": 1.0 }, { "to": 1.0, "ms": 1.5 } ],
          "slow": [
            { "first": 524288, "count": 1024, "ms": 7 },
            { "first": 1572864, "count": 512, "ms": 8 },
            { "first": 2097152, "count": 768, "ms": 25 },
            { "first": 4194304, "count": 256, "ms": 30 },
            { "first": 3145728, "count": 512, "ms": 90 },
            { "first": 6291456, "count": 256, "ms": 110 },
            { "first": 5242880, "count": 512, "ms": 260 },
            { "first": 8388608, "count": 256, "ms": 400 },
            { "first": 7340032, "count": 256, "ms": 650 },
            { "first": 11534336, "count": 256, "ms": 900 }
          ],
          "failing": [
            { "first": 1048700, "count": 8, "error": "40", "ms": 300 },
            { "first": 1049000, "count": 300, "error": "40", "ms": 300 },
            { "first": 2621440, "count": 1, "error": "01", "ms": 120 },
            { "first": 3670016, "count": 1, "error": "02", "ms": 150 },
            { "first": 4718592, "count": 1, "error": "04", "ms": 20 },
            { "first": 5767168, "count": 1, "error": "10", "ms": 200 },
            { "first": 6815744, "count": 2, "error": "80", "ms": 80 },
            { "first": 7864320, "count": 1, "error": "00", "ms": 600 },
            { "first": 9437184, "count": 1, "error": "08", "ms": 400 },
            { "first": 10485760, "count": 1, "error": "41", "ms": 250 }
          ],
          "softBad": [ 9961472, 9961473, 12000000 ],
          "attributes": [
            { "id": 1, "flags": "000F", "value": 72, "worst": 60, "threshold": 6, "raw": 84213 },
            { "id": 3, "flags": "0003", "value": 95, "worst": 92, "threshold": 0, "raw": 0 },
            { "id": 4, "flags": "0032", "value": 98, "worst": 98, "threshold": 20, "raw": 2712 },
            { "id": 5, "flags": "0033", "value": 30, "worst": 30, "threshold": 36, "raw": 1536 },
            { "id": 7, "flags": "000F", "value": 61, "worst": 55, "threshold": 30, "raw": 1093 },
            { "id": 9, "flags": "0032", "value": 64, "worst": 64, "threshold": 0, "raw": 31877 },
            { "id": 10, "flags": "0013", "value": 100, "worst": 100, "threshold": 97, "raw": 0 },
            { "id": 12, "flags": "0032", "value": 97, "worst": 97, "threshold": 20, "raw": 3311 },
            { "id": 190, "flags": "0022", "value": 53, "worst": 40, "threshold": 45, "raw": 47 },
            { "id": 194, "flags": "0022", "value": 53, "worst": 40, "threshold": 0, "raw": 47 },
            { "id": 196, "flags": "0032", "value": 70, "worst": 70, "threshold": 0, "raw": 188 },
            { "id": 197, "flags": "0012", "value": 95, "worst": 95, "threshold": 0, "raw": 12 },
            { "id": 198, "flags": "0010", "value": 95, "worst": 95, "threshold": 0, "raw": 7 },
            { "id": 199, "flags": "003E", "value": 200, "worst": 199, "threshold": 0, "raw": 3 },
            { "id": 200, "flags": "000A", "value": 100, "worst": 253, "threshold": 0, "raw": 0 },
            { "id": 241, "flags": "0032", "value": 100, "worst": 100, "threshold": null, "raw": 91823311 }
          ]
        },
        "slave": {
          "model": "SIMDISK SD-6000H HPA", "serial": "SD6H00HPA77", "firmware": "H1.20",
          "sectors": 12000000, "hpaSectors": 10000000, "lba48": true, "ataVersion": 6,
          "udma": "203F", "smart": "off",
          "eraseWord": 20, "enhancedEraseWord": 25, "eraseScale": 0.001,
          "security": { "password": "", "master": "SIMMASTER" },
          "temperature": 38,
          "zones": [ { "to": 1.0, "ms": 1.2 } ]
        }
      }
    },
    { "address": "00:05.0", "id": "105A:4D69", "class": "0101", "progIf": "8F",
      "bars": ["D001", "D401", "D801", "DC01", "E001", ""],
      "primary": {
        "master": {
          "model": "SIMDISK SD-3000T HUGE", "serial": "SD3T00000042", "firmware": "T5.02",
          "sectors": 5860533168, "lba48": true, "ataVersion": 8, "udma": "407F", "aam": 254,
          "eraseWord": 255, "enhancedEraseWord": 255, "eraseScale": 0.0001,
          "security": { "password": "", "master": "SIMMASTER" },
          "temperature": 39,
          "zones": [ { "to": 0.25, "ms": 0.45 }, { "to": 0.5, "ms": 0.55 },
                     { "to": 0.75, "ms": 0.7 }, { "to": 1.0, "ms": 0.9 } ]
        },
        "slave": {
          "model": "SIMDISK SD-2000S LOCKED", "serial": "SD2S0LOCK01", "firmware": "S1.07",
          "sectors": 4194304, "lba48": true, "ataVersion": 7, "udma": "203F",
          "eraseWord": 6, "enhancedEraseWord": 8, "eraseScale": 0.01,
          "security": { "password": "voran", "level": "high", "master": "SIMMASTER" },
          "temperature": 35,
          "zones": [ { "to": 1.0, "ms": 1.4 } ]
        }
      },
      "secondary": {
        "master": {
          "model": "SIMDISK SD-1000N NOSMART", "serial": "SD1N0000009", "firmware": "N0.98",
          "sectors": 2097152, "lba48": true, "ataVersion": 6, "udma": "101F",
          "smart": "none", "security": false, "hpa": false, "aam": false, "apm": false,
          "zones": [ { "to": 1.0, "ms": 2.8 } ]
        }
      }
    },
    { "address": "00:06.0", "id": "1106:3149", "class": "0106", "progIf": "00",
      "bars": ["C001", "C401", "C801", "CC01", "B001", ""],
      "primary": {
        "master": {
          "model": "SIMDISK SD-5000M MAXLOCK", "serial": "SD5M00MAX05", "firmware": "M2.30",
          "sectors": 10485760, "lba48": true, "ataVersion": 7, "udma": "407F",
          "eraseWord": 10, "enhancedEraseWord": 12, "eraseScale": 0.01,
          "security": { "password": "maxpass", "level": "max", "master": "SIMMASTER" },
          "temperature": 43,
          "zones": [ { "to": 1.0, "ms": 1.0 } ]
        }
      },
      "secondary": { }
    }
  ],
  "passThrough": [
    { "name": "/dev/sda", "sense": "fixed",
      "drive": {
        "model": "SIMDISK SD-7000A AHCI", "serial": "SD7A0000007", "firmware": "A3.10",
        "sectors": 16777216, "lba48": true, "ataVersion": 8, "udma": "407F",
        "temperature": 38,
        "zones": [ { "to": 0.5, "ms": 0.8 }, { "to": 1.0, "ms": 1.2 } ]
      }
    }
  ]
}
)json";

MachineSpec DefaultMachineSpec()
{
    std::string error;
    auto spec = ParseMachineSpec(kDefaultMachineJson, &error);
    if (!spec) {
        // A broken built-in description is a build defect, caught by the tests.
        std::fprintf(stderr, "voran: built-in machine description: %s\n", error.c_str());
        std::abort();
    }
    return *spec;
}

MachineSpec OneControllerMachine(std::optional<DriveSpec> master, std::optional<DriveSpec> slave)
{
    PciFunctionSpec f;
    f.device = 1;
    f.function = 1;
    f.vendorId = 0x8086;
    f.deviceId = 0x7111;
    f.classCode = 0x01;
    f.subclass = 0x01;
    f.progIf = 0x80;
    f.channels[0].master = std::move(master);
    f.channels[0].slave = std::move(slave);
    MachineSpec m;
    m.functions.push_back(f);
    return m;
}

}  // namespace sim
