// The device-type name tables of the vendor MIBs: the number a table gives for a device, as the
// text that describes the device in the inventory.
#include <iterator>

#include "storage_steps.h"

namespace cx::storage {
namespace {

struct TypeEntry {
    UINT number;
    const char* name;
};

// Each row ends with the name of every number it does not list.
constexpr TypeEntry kHdDevice[] = {
    {1, "other device"}, {2, "direct access"}, {3, "sequential"}, {5, "processor"},
    {7, "CD_ROM"},       {8, "scanner"},       {9, "optical"},    {0, "unknown"},
};
constexpr TypeEntry kIomDevice[] = {
    {1, "other"},
    {2, "unknown"},
    {3, "rigidDisk"},
    {4, "flexibleDiskette"},
    {6, "opticalWORM"},
    {7, "magnetoOptical"},
    {8, "compactDisk"},
    {9, "flashDisk"},
    {10, "cartridgeDisk"},
    {11, "opticalFloppy"},
    {12, "tapeDrive"},
    {13, "solidState"},
    {14, "mediaChanger"},
    {15, "digitalVersatileDisk"},
    {16, "digitalVersatileRAM"},
    {0, "undefined"},
};
constexpr TypeEntry kIomEnclosure[] = {
    {1, "other"}, {2, "unknown"}, {3, "default"},   {4, "saf-te"},
    {5, "ses"},   {6, "aemi"},    {0, "undefined"},
};
constexpr TypeEntry kAacPeripheral[] = {
    {0, "disk"},    {1, "tape"},    {2, "printer"}, {3, "procesor"}, {4, "writeOnce"}, {5, "cdRom"},
    {6, "scanner"}, {7, "optical"}, {8, "jukebox"}, {9, "commDev"},  {~0u, "unknown"},
};
constexpr TypeEntry kDptPeripheral[] = {
    {1, "disk"},      {2, "tape"},     {3, "printer"},         {4, "processor"},
    {5, "writeOnce"}, {6, "cdRom"},    {7, "scanner"},         {8, "optical"},
    {9, "jukebox"},   {10, "commDev"}, {11, "graphicsType10"}, {12, "graphicsType11"},
    {13, "scc"},      {14, "ses"},     {97, "saf-te"},         {98, "host"},
    {0, "unknown"},
};
constexpr TypeEntry kGamPeripheral[] = {
    {0, "disk"},      {1, "tape"},      {2, "printer"},         {3, "processor"},
    {4, "writeOnce"}, {5, "cdRom"},     {6, "scanner"},         {7, "optical"},
    {8, "jukebox"},   {9, "commDev"},   {10, "graphicsType10"}, {11, "graphicsType11"},
    {199, "host"},    {~0u, "unknown"},
};
constexpr TypeEntry kLsiDevice[] = {
    {1, "tape"},  {2, "printer"}, {3, "procesor"}, {4, "writeOnce"},
    {5, "cdRom"}, {6, "scanner"}, {7, "optical"},  {8, "jukebox"},
    {9, "disk"},  {10, "dvd"},    {0, "unknown"},
};
constexpr TypeEntry kTvcDevice[] = {
    {1, "other"},     {2, "disk"},      {3, "tape"},    {4, "printer"}, {5, "procesor"},
    {6, "writeOnce"}, {7, "cdRom/dvd"}, {8, "scanner"}, {9, "optical"}, {10, "jukebox"},
    {11, "commDev"},  {98, "host"},     {0, "unknown"},
};
constexpr TypeEntry kTvcInterface[] = {
    {1, "other"}, {2, "SCSI"}, {3, "IDE"}, {4, "1394"},
    {5, "SATA"},  {6, "SAS"},  {7, "FC"},  {0, "unknown"},
};

template <std::size_t N>
const char* Lookup(const TypeEntry (&table)[N], UINT number) {
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (table[i].number == number) return table[i].name;
    return table[N - 1].name;
}

}  // namespace

const char* TypeName(TypeTable table, UINT number) {
    switch (table) {
        case TypeTable::kHdDevice: return Lookup(kHdDevice, number);
        case TypeTable::kIomDevice: return Lookup(kIomDevice, number);
        case TypeTable::kIomEnclosure: return Lookup(kIomEnclosure, number);
        case TypeTable::kAacPeripheral: return Lookup(kAacPeripheral, number);
        case TypeTable::kDptPeripheral: return Lookup(kDptPeripheral, number);
        case TypeTable::kGamPeripheral: return Lookup(kGamPeripheral, number);
        case TypeTable::kLsiDevice: return Lookup(kLsiDevice, number);
        case TypeTable::kTvcDevice: return Lookup(kTvcDevice, number);
        case TypeTable::kTvcInterface: return Lookup(kTvcInterface, number);
    }
    return "unknown";
}

const char* TvcInterfaceName(UINT number) { return TypeName(TypeTable::kTvcInterface, number); }

}  // namespace cx::storage
