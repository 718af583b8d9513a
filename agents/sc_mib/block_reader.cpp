// The reader of SC_MIB's storage device facts: plain reads of small sysfs files below the
// system root. A device whose directory cannot be resolved, or is gone once its files were
// read, is left out and reported.
#include "block_reader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <tuple>

#include "sysfs_files.h"

namespace cx::scmib {
namespace {

namespace fs = std::filesystem;

// Memory-backed disks, not devices of a controller.
constexpr std::string_view kVirtualDisks[] = {"loop", "ram", "zram"};

bool HoldsOne(const fs::path& path) {
    const auto text = ReadSmallFile(path);
    return text && (*text == "1" || *text == "1\n");
}

class Reader {
  public:
    explicit Reader(const std::string& sys_root) : sys_(sys_root + "/sys") {
        std::error_code error;
        if (!sys_root.empty()) {
            root_ = fs::canonical(sys_root, error).string();
            if (error) root_ = sys_root;
        }
    }

    BlockReadResult Read() {
        ReadScsiDevices();
        ReadBlockDevices();
        std::sort(result_.devices.begin(), result_.devices.end(),
                  [](const StorageDevice& a, const StorageDevice& b) {
                      return std::tie(a.path, a.block) < std::tie(b.path, b.block);
                  });
        return std::move(result_);
    }

  private:
    // The resolved path below the system root; empty when it does not resolve.
    std::string Resolved(const fs::path& path) const {
        std::error_code error;
        std::string resolved = fs::canonical(path, error).string();
        if (error) return {};
        if (!root_.empty() && root_ != "/" && resolved.rfind(root_, 0) == 0)
            resolved.erase(0, root_.size());
        return resolved;
    }

    void Gone(const std::string& name) { result_.problems.push_back(name + ": gone while read"); }

    void ReadScsiFiles(const fs::path& dir, StorageDevice* d) {
        d->vendor = ReadSmallFile(dir / "vendor");
        d->model = ReadSmallFile(dir / "model");
        d->revision = ReadSmallFile(dir / "rev");
        d->type = ReadSmallFile(dir / "type");
    }

    // Every H:C:T:L of the SCSI bus, block device or not (tapes, changers, enclosures).
    void ReadScsiDevices() {
        std::error_code error;
        for (const fs::path& dir : Entries(sys_ / "bus/scsi/devices")) {
            const std::string name = dir.filename().string();
            if (!ParseDevicePath(name).scsi_address) continue;  // hosts and targets
            StorageDevice d;
            d.path = Resolved(dir);
            if (d.path.empty()) {
                Gone(name);
                continue;
            }
            ReadScsiFiles(dir, &d);
            const std::vector<fs::path> blocks = Entries(dir / "block");
            if (!blocks.empty()) d.block = blocks.front().filename().string();
            if (!fs::exists(dir, error)) {
                Gone(name);
                continue;
            }
            scsi_paths_.insert(d.path);
            result_.devices.push_back(std::move(d));
        }
    }

    // The NVMe controller of a namespace: its parent device, or for a multipath namespace
    // (whose parent is the subsystem) the controller of its first path.
    fs::path NvmeController(const fs::path& dir, const std::string& name,
                            const DevicePath& parent) {
        if (parent.nvme_controller) return dir / "device";
        unsigned subsystem = 0, controller = 0, space = 0;
        for (const fs::path& entry : Entries(dir / "multipath")) {
            if (std::sscanf(entry.filename().c_str(), "nvme%uc%un%u", &subsystem, &controller,
                            &space) == 3)
                return sys_ / "class/nvme" / ("nvme" + std::to_string(controller));
        }
        if (std::sscanf(name.c_str(), "nvme%u", &subsystem) == 1)
            return sys_ / "class/nvme" / ("nvme" + std::to_string(subsystem));
        return dir / "device";
    }

    void ReadBlockDevices() {
        std::error_code error;
        for (const fs::path& dir : Entries(sys_ / "block")) {
            const std::string name = dir.filename().string();
            if (std::any_of(std::begin(kVirtualDisks), std::end(kVirtualDisks),
                            [&](std::string_view prefix) { return name.rfind(prefix, 0) == 0; }))
                continue;
            if (fs::exists(dir / "partition", error) || HoldsOne(dir / "hidden")) continue;
            const std::string parent = Resolved(dir / "device");
            if (parent.empty()) {
                // Device mapper, md and the like hang from no device; a vanished disk neither.
                if (!fs::exists(dir, error)) Gone(name);
                continue;
            }
            if (scsi_paths_.count(parent) != 0) continue;  // read with its SCSI device
            StorageDevice d;
            d.block = name;
            const DevicePath path = ParseDevicePath(parent);
            if (path.scsi_address) {
                d.path = parent;
                ReadScsiFiles(dir / "device", &d);
            } else if (name.rfind("nvme", 0) == 0) {
                const fs::path controller = NvmeController(dir, name, path);
                d.path = Resolved(controller);
                d.model = ReadSmallFile(controller / "model");
                d.revision = ReadSmallFile(controller / "firmware_rev");
                d.nsid = ReadSmallFile(dir / "nsid");
            } else {
                d.path = parent;
            }
            if (d.path.empty() || !fs::exists(dir, error)) {
                Gone(name);
                continue;
            }
            result_.devices.push_back(std::move(d));
        }
    }

    fs::path sys_;
    std::string root_;
    std::set<std::string> scsi_paths_;
    BlockReadResult result_;
};

}  // namespace

BlockReadResult ReadStorageDevices(const std::string& sys_root) { return Reader(sys_root).Read(); }

}  // namespace cx::scmib
