#include "select/PciTables.h"

#include "common/Format.h"

const PciName PciVendorTable[16] = {
    {0x8086, "Intel"}, {0x1022, "AMD"}, {0x1039, "SiS"}, {0x1109, "Adaptec"},
    {0x105A, "Promise"}, {0x10DE, "Nvidia"}, {0x10E1, "Tekram"}, {0x10EC, "Realtek"},
    {0x1103, "HPT"}, {0x1283, "ITE"}, {0xACE1, "ACE Lab"}, {0x0D1C, "IC-Book"},
    {0x907F, "Atronic"}, {0x100B, "NSC Inc"}, {0x1095, "CMD/SiI"}, {0x1106, "VIA"},
};

const PciName PciDeviceTable[100] = {
    {0x0180, "180 IDE UDMA"}, {0x0181, "181 IDE UDMA"}, {0x0182, "965/965L IDE"}, {0x5513, "5513A/B IDE"},
    {0x0597, "5513A/B IDE"}, {0x0601, "83C601 EIDE"}, {0x3602, "83C602 EIDE"}, {0x5228, "IDE Bridge"},
    {0x5281, "CK0019A SATA"}, {0x5215, "Main EIDE"}, {0x5225, "M5225 EIDE"}, {0x5229, "M5229 EIDE"},
    {0x0D30, "PDC20265 FastTrak100 Lite EIDE"}, {0x0D38, "PDC20263 IDE"}, {0x1275, "PDC20275 133"}, {0x4D30, "PDC20267 IDE"},
    {0x4D33, "PDC20246 U33"}, {0x4D38, "PDC20262 U66"}, {0x6268, "PDC 20268R"}, {0x4D68, "Ultra 100TX2"},
    {0x4D69, "Ultra 133TX2"}, {0x5275, "PDC20276 IDE"}, {0x3318, "PDC20318-150"}, {0x3319, "PDC20319-150"},
    {0x3371, "PDC20371-150"}, {0x3373, "FastTrak 378"}, {0x3375, "PDC20375-150"}, {0x3376, "FastTrak 376"},
    {0x3574, "SATAII-579"}, {0x3D18, "SATAII-518"}, {0x7275, "SBFastTrk133"}, {0x3519, "TX4200 SATA"},
    {0x3515, "TX4300 SATA2"}, {0x3577, "SATAII-779"}, {0x00E3, "nForce3 SATA"}, {0x00E5, "nForce3 IDE"},
    {0x00EE, "nForce CK8S SATA"}, {0x0085, "nForce MCP2S IDE"}, {0x008E, "nForce SATA"}, {0x01BC, "nForce I"},
    {0x0065, "nForce II"}, {0x00D5, "nForce III"}, {0x0053, "nForce4 PATA"}, {0x0054, "nForce4 SATA"},
    {0x0055, "nForce4 SATA"}, {0x003E, "nForce4 SATA"}, {0x0036, "nForce4 SATA"}, {0x0035, "nForce4 IDE"},
    {0x0003, "HPT 343/345"}, {0x0004, "HighPoint366"}, {0x0008, "374 Rocket"}, {0x0009, "HPT372N-133"},
    {0x8212, "ITE 8212F"}, {0x8211, "ITE 8211/DX"}, {0x266F, "i915G Bridge"}, {0x1230, "i82371FB IDE"},
    {0x1234, "i82371MX IDE"}, {0x2411, "i82801AA IDE"}, {0x2421, "i82801AB IDE"}, {0x244A, "i82801BAM"},
    {0x244B, "i82801BA IDE"}, {0x245B, "i82801E IDE"}, {0x248A, "i82801CAM"}, {0x248B, "i82801CA IDE"},
    {0x24CA, "i82801DBM"}, {0x24CB, "i82801DB IDE"}, {0x24D1, "i82801EB IDE"}, {0x24DB, "i82801EB/ER"},
    {0x24DF, "i82801ER"}, {0x7010, "i82371SB"}, {0x7111, "i82371AB/MB"}, {0x7199, "i82443MX"},
    {0x7601, "i82372FB IDE"}, {0x27C3, "i82801GR/GH"}, {0x27C1, "i82801GR/GH"}, {0x2652, "82801FR S150"},
    {0x2653, "i82801FBM"}, {0x25B0, "6300ESB SATA"}, {0x0005, "PC3000 Board"}, {0xB00C, "K-Tool Board"},
    {0x2015, "2015PL EIDE"}, {0x0002, "87415/87560"}, {0x002D, "CS5535 IDE"}, {0x0502, "SCx200 IDE"},
    {0xD001, "PC87410 IDE"}, {0x7401, "AMD-755 IDE"}, {0x7409, "AMD-756 IDE"}, {0x7411, "AMD-766 IDE"},
    {0x7441, "AMD-768 IDE"}, {0x7469, "AMD-8111 IDE"}, {0x0648, "CMD PCI-648"}, {0x3112, "SATALink3112"},
    {0x3114, "SiL 3114 SoftRaid 5 Controller"}, {0x3124, "SiL 3124 PCI-X"}, {0x3512, "SATALink3512"}, {0x0571, "VT82C571 IDE"},
    {0x3149, "VT8237 S150"}, {0x3249, "VT6421 S150"}, {0x3164, "VT6410 S150"}, {0x4149, "VT6420 IDE"},
};

namespace {

// Every entry is compared; with several matches the last one wins.
template <size_t N>
const char* Lookup(const PciName (&table)[N], uint16_t id)
{
    const char* found = nullptr;
    for (const PciName& e : table)
        if (e.id == id)
            found = e.name;
    return found;
}

}  // namespace

QString VendorName(uint16_t id)
{
    if (const char* n = Lookup(PciVendorTable, id))
        return QString::fromLatin1(n);
    return QStringLiteral("Unknown (") + HexText(id, 4) + QLatin1Char(')');
}

QString DeviceName(uint16_t id)
{
    if (const char* n = Lookup(PciDeviceTable, id))
        return QString::fromLatin1(n);
    return QStringLiteral("PCI IDE Controller (") + HexText(id, 4) + QLatin1Char(')');
}

QString ControllerName(uint16_t vendor, uint16_t device)
{
    return VendorName(vendor) + QLatin1Char(' ') + DeviceName(device) + QStringLiteral(", ");
}
