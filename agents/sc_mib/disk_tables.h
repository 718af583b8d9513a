// SC_MIB's hard-disk tables from the facts of the machine's storage devices: one adapter row per
// controller (SCSI host, NVMe controller, or the PCI function of any other disk) that has a
// block device, and one device row per SCSI device, NVMe namespace or other disk on it. Pure,
// like pci_tables.h: block_reader.h gathers the facts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pci_tables.h"

namespace cx::scmib {

// What the reader found of one storage device. Texts are the files' contents as read.
struct StorageDevice {
    std::string block;  // block device name ("sda", "nvme0n1", "vda"); empty when it has none
    // Below the system root: the SCSI device (.../host0/target0:0:0/0:0:0:0), the NVMe
    // controller (.../nvme/nvme0) or the device the disk hangs from (.../virtio1).
    std::string path;
    std::optional<std::string> vendor;    // SCSI "vendor"
    std::optional<std::string> model;     // SCSI and NVMe "model"
    std::optional<std::string> revision;  // SCSI "rev", NVMe "firmware_rev"
    std::optional<std::string> type;      // SCSI "type"
    std::optional<std::string> nsid;      // NVMe namespace "nsid"
};

// The parts of a sysfs device path the tables need.
struct DevicePath {
    // The last PCI function on the path ("0000:00:1f.2"): the controller.
    std::optional<std::array<std::uint32_t, 4>> pci;           // domain, bus, device, function
    bool ata = false;                                          // an "ataN" port below the function
    std::optional<std::uint32_t> scsi_host;                    // "hostN"
    std::optional<std::array<std::uint32_t, 4>> scsi_address;  // "H:C:T:L"
    std::optional<std::uint32_t> nvme_controller;              // "nvme/nvmeN"
};
DevicePath ParseDevicePath(std::string_view path);

// The table's device type of a SCSI "type" file (the peripheral device type), or nullopt
// when the text holds no number.
std::optional<std::uint32_t> DeviceTypeOfScsiType(std::string_view text);

// A field of the inquiry text: trimmed, unprintable bytes as '?', cut or blank-padded to
// `width`.
std::string InquiryField(std::string_view text, std::size_t width);

// The vendor field (8 characters, no blank) of the inquiry text of an NVMe or other PCI disk,
// from the ID database's name of the function's vendor: its short form in brackets where it
// has one, else its words without a trailing legal form ("Inc.", "Ltd", ...); the words joined
// without blanks or punctuation, whole as far as they fit, and cut to 8; the vendor ID as four
// hex digits when no letter or digit is left.
std::string InquiryVendor(std::string_view vendor_name, std::uint16_t vendor_id);

// The adapter and device tables for `devices` on `functions` (as the reader gave them), in no
// particular order. Devices on no PCI function of domain 0 are left out; `left_out`, when
// given, gets one line for each.
std::vector<TableValue> BuildDiskTables(const std::vector<PciFunction>& functions,
                                        const std::vector<StorageDevice>& devices,
                                        std::vector<std::string>* left_out = nullptr);

}  // namespace cx::scmib
