// The vendor tables of the storage collectors written as walks: a controller with a given number
// of disks for each family, and the hard-disk MIB's adapter and device rows, as the storage
// tests and benchmark serve them with REPLAY_MIB. Disks are "CATALIX Q47120-Dnnn", one per
// target. Header only, so that benchmarks take it without the test libraries.
#pragma once

#include <cstdio>
#include <string>

namespace cx::test {

// The regions REPLAY_MIB serves for them (a REG_MULTI_SZ: NUL between the views).
inline std::string StorageRegions() {
    std::string regions;
    for (const char* region :
         {"1.3.6.1.4.1.7391.2.10.2.2", "1.3.6.1.4.1.7391.2.10.2.6", "1.3.6.1.4.1.7391.2.49",
          "1.3.6.1.4.1.795", "1.3.6.1.4.1.1597", "1.3.6.1.4.1.3582", "1.3.6.1.4.1.1608"})
        regions += std::string(regions.empty() ? "" : std::string(1, '\0')) + region;
    return regions;
}

// Walk lines, "OID = TYPE: VALUE".
struct Walk {
    std::string text;
    Walk& Line(const std::string& oid, const std::string& value) {
        text += oid + " = " + value + "\n";
        return *this;
    }
    Walk& Int(const std::string& oid, long long value) {
        return Line(oid, "INTEGER: " + std::to_string(value));
    }
    Walk& Gauge(const std::string& oid, unsigned long value) {
        return Line(oid, "Gauge32: " + std::to_string(value));
    }
    Walk& Str(const std::string& oid, const std::string& value) {
        return Line(oid, "STRING: \"" + value + "\"");
    }
    Walk& Ref(const std::string& oid, const std::string& value) {
        return Line(oid, "OID: " + value);
    }
};

inline std::string Cell(const char* entry, int column, const std::string& index) {
    return std::string(entry) + "." + std::to_string(column) + index;
}
inline std::string Idx(int a) { return "." + std::to_string(a); }
inline std::string Idx(int a, int b) { return Idx(a) + Idx(b); }
inline std::string Idx(int a, int b, int c) { return Idx(a, b) + Idx(c); }
inline std::string Idx(int a, int b, int c, int d) { return Idx(a, b, c) + Idx(d); }

// Disk n's inquiry fields, and the 28-character inquiry text they make.
inline std::string DiskProduct(int n) {
    char text[24];
    std::snprintf(text, sizeof(text), "Q47120-D%03d", n % 1000);
    return text;
}
inline std::string DiskInquiry(int n) {
    char text[40];
    std::snprintf(text, sizeof(text), "CATALIX %-16sC%03d", DiskProduct(n).c_str(), n % 1000);
    return text;
}

inline constexpr const char* kHdAdapterEntry = ".1.3.6.1.4.1.7391.2.10.2.2.3.1.1";
inline constexpr const char* kHdDeviceEntry = ".1.3.6.1.4.1.7391.2.10.2.2.3.2.1";

struct HdAdapter {
    int bus_type;
    int bus;
    int adapter;
    const char* name;
    int devices;
    unsigned long port;
    int interface_type;
    int index = 0;
    int slot = 0;
};
inline void AddHdAdapter(Walk& w, const HdAdapter& a) {
    const std::string i = Idx(a.bus_type, a.bus, a.adapter);
    w.Int(Cell(kHdAdapterEntry, 1, i), a.bus_type).Int(Cell(kHdAdapterEntry, 2, i), a.bus);
    w.Int(Cell(kHdAdapterEntry, 3, i), a.adapter).Str(Cell(kHdAdapterEntry, 7, i), a.name);
    w.Int(Cell(kHdAdapterEntry, 8, i), a.devices).Int(Cell(kHdAdapterEntry, 9, i), a.slot);
    w.Gauge(Cell(kHdAdapterEntry, 10, i), a.port);
    w.Int(Cell(kHdAdapterEntry, 11, i), a.interface_type);
    w.Int(Cell(kHdAdapterEntry, 12, i), a.index);
}
// Device `n` of an adapter: type (2 direct access), inquiry text, channel, target, unit.
inline void AddHdDevice(Walk& w, const HdAdapter& a, int n, int type, const std::string& inquiry,
                        int channel, int target, int unit) {
    const std::string i = Idx(a.bus_type, a.bus, a.adapter, n);
    w.Int(Cell(kHdDeviceEntry, 3, i), a.adapter).Int(Cell(kHdDeviceEntry, 8, i), type);
    w.Str(Cell(kHdDeviceEntry, 5, i), inquiry).Int(Cell(kHdDeviceEntry, 21, i), channel);
    w.Int(Cell(kHdDeviceEntry, 22, i), target).Int(Cell(kHdDeviceEntry, 23, i), unit);
}

// Each family: controller `index` at PCI bus `bus` (numbered from 1, as the bus table numbers
// it; the vendor tables count from 0), device 0, function 1, with `disks` disks.
inline void AddAac(Walk& w, int bus, int index, int disks) {
    const char* bus_entry = ".1.3.6.1.4.1.795.10.1.1.28.1";
    const char* ctrl = ".1.3.6.1.4.1.795.10.1.1.3.1";
    const char* dev = ".1.3.6.1.4.1.795.10.1.1.5.1";
    w.Int(Cell(bus_entry, 3, Idx(index)), bus - 1).Int(Cell(bus_entry, 4, Idx(index)), 0);
    w.Str(Cell(ctrl, 3, Idx(index)), "Adaptec Q47120-R2 Array");
    w.Str(Cell(ctrl, 7, Idx(index)), "4.2-0 (7411)")
        .Str(Cell(ctrl, 8, Idx(index)), "Kernel: 4.2-1");
    w.Str(Cell(ctrl, 9, Idx(index)), "4.2-2").Str(Cell(ctrl, 10, Idx(index)), "4.2-3");
    for (int n = 1; n <= disks; ++n) {
        const std::string i = Idx(index * 1000 + n);
        w.Int(Cell(dev, 2, i), index).Int(Cell(dev, 3, i), 0).Int(Cell(dev, 4, i), n);
        w.Int(Cell(dev, 5, i), 0).Int(Cell(dev, 6, i), 0).Str(Cell(dev, 7, i), "CATALIX");
        w.Str(Cell(dev, 8, i), DiskProduct(n)).Str(Cell(dev, 9, i), "C001");
    }
}

// The I/O-manager tables: controller ports 100.., each with up to 16 device ports 1000.., one
// disk 5000.. behind each; every device port also has enclosure 9000+ of its controller port.
inline void AddIom(Walk& w, int bus, int index, int vendor, int device, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.795.12.2.3.1.1";
    const char* assoc = ".1.3.6.1.4.1.795.12.2.12.1.1";
    const char* port = ".1.3.6.1.4.1.795.12.2.5.1.1";
    const char* dev = ".1.3.6.1.4.1.795.12.2.2.1.1";
    const char* encl = ".1.3.6.1.4.1.795.12.2.4.1.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index).Str(Cell(ctrl, 2, i), "3.1-0");
    w.Int(Cell(ctrl, 7, i), device).Int(Cell(ctrl, 8, i), vendor).Int(Cell(ctrl, 9, i), bus - 1);
    w.Int(Cell(ctrl, 10, i), 0).Int(Cell(ctrl, 11, i), 0);
    int row = index * 100000;
    auto link = [&](int t1, int i1, int t2, int i2) {
        ++row;
        const std::string r = Idx(row);
        const std::string base = ".1.3.6.1.4.1.795.12.2.";
        w.Int(Cell(assoc, 1, r), row);
        w.Ref(Cell(assoc, 3, r), base + std::to_string(t1) + ".1.1." + std::to_string(i1));
        w.Ref(Cell(assoc, 4, r), base + std::to_string(t2) + ".1.1." + std::to_string(i2));
    };
    const int ctrl_ports = (disks + 15) / 16;
    for (int p = 0; p < ctrl_ports; ++p) {
        link(3, index, 5, 100 + p);
        link(4, 9000 + p, 5, 1000 + p * 16);  // the other way round: not looked for
    }
    for (int n = 0; n < disks; ++n) {
        const int ctrl_port = 100 + n / 16;
        const int dev_port = 1000 + n;
        link(5, ctrl_port, 5, dev_port);
        link(5, dev_port, 2, 5000 + n);
        w.Int(Cell(port, 2, Idx(dev_port)), n / 16);
        w.Str(Cell(port, 5, Idx(dev_port)),
              "Bus:" + std::to_string(n / 16) + " ID:" + std::to_string(n % 16) + " LUN:0");
        w.Int(Cell(dev, 2, Idx(5000 + n)), 3).Str(Cell(dev, 3, Idx(5000 + n)), DiskInquiry(n + 1));
        if (n % 16 == 0) {
            link(5, dev_port, 4, 9000 + n / 16);
            w.Int(Cell(encl, 2, Idx(9000 + n / 16)), 4);
            w.Str(Cell(encl, 3, Idx(9000 + n / 16)), "ARVENMRKQ47120-E1       0102");
        }
    }
}

inline void AddDpt(Walk& w, int index, unsigned long mem, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.1597.1.2.1.1";
    const char* dev = ".1.3.6.1.4.1.1597.1.4.1.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index).Str(Cell(ctrl, 2, i), "Catalix");
    w.Str(Cell(ctrl, 3, i), "Q47120-C3").Str(Cell(ctrl, 4, i), "7A1");
    w.Str(Cell(ctrl, 5, i), "CX0310447").Gauge(Cell(ctrl, 6, i), mem);
    w.Str(Cell(ctrl, 31, i), "Firmware Image; Version: 7A1.02; Built: 03-15-04");
    w.Str(Cell(ctrl, 32, i), "Controller BIOS; Version: 2.1; Built: 11-02-03");
    w.Str(Cell(ctrl, 33, i), "NV 3");
    // Index: controller, channel, target, unit, 0.
    for (int n = 1; n <= disks; ++n) {
        const std::string d = Idx(index, n / 16, n % 16) + Idx(0, 0);
        w.Int(Cell(dev, 1, d), n % 16).Int(Cell(dev, 3, d), 0).Str(Cell(dev, 4, d), "CATALIX");
        w.Str(Cell(dev, 5, d), DiskProduct(n)).Str(Cell(dev, 6, d), "C001");
        w.Int(Cell(dev, 8, d), 1).Int(Cell(dev, 35, d), 1);
    }
}

inline void AddLsi(Walk& w, int index, int sub_vendor, int sub_system, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.3582.2.2.1.2.1";
    const char* dev = ".1.3.6.1.4.1.3582.2.2.3.2.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index)
        .Str(Cell(ctrl, 4, i), "1.03.15")
        .Str(Cell(ctrl, 5, i), "5.10.02");
    w.Int(Cell(ctrl, 6, i), sub_system).Int(Cell(ctrl, 7, i), sub_vendor);
    w.Str(Cell(ctrl, 8, i), "Catalix Q47120-L1");
    for (int n = 1; n <= disks; ++n) {
        const std::string d = Idx(index, n);
        w.Int(Cell(dev, 2, d), index).Int(Cell(dev, 3, d), n % 16).Int(Cell(dev, 4, d), n / 16);
        w.Int(Cell(dev, 5, d), 0).Int(Cell(dev, 9, d), 9).Str(Cell(dev, 15, d), "CATALIX");
        w.Str(Cell(dev, 16, d), DiskProduct(n)).Str(Cell(dev, 17, d), "C001");
    }
}

inline void AddLsiSata(Walk& w, int index, int irq, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.3582.3.2.1.2.1";
    const char* dev = ".1.3.6.1.4.1.3582.3.2.3.2.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index).Str(Cell(ctrl, 3, i), "Catalix Q47120-S1");
    w.Str(Cell(ctrl, 4, i), "1.02").Str(Cell(ctrl, 5, i), "2.0.1");
    w.Str(Cell(ctrl, 7, i), "0x1F0").Str(Cell(ctrl, 8, i), std::to_string(irq));
    for (int n = 1; n <= disks; ++n) {
        const std::string d = Idx(index, n);
        w.Int(Cell(dev, 2, d), n).Str(Cell(dev, 4, d), DiskProduct(n));
        w.Str(Cell(dev, 9, d), "CXS" + std::to_string(1000 + n)).Int(Cell(dev, 10, d), index);
        w.Str(Cell(dev, 11, d), "C001");
    }
}

inline void AddMylexView(Walk& w, int index, unsigned long mem, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.3.1";
    const char* dev = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.4.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index).Str(Cell(ctrl, 2, i), "Q47120-M2");
    w.Gauge(Cell(ctrl, 4, i), mem).Str(Cell(ctrl, 11, i), "5. 08").Str(Cell(ctrl, 12, i), "2. 1");
    w.Str(Cell(ctrl, 25, i), "Catalix");
    for (int n = 1; n <= disks; ++n) {
        const std::string d = Idx(index, n);
        w.Int(Cell(dev, 1, d), index).Int(Cell(dev, 2, d), n / 16).Int(Cell(dev, 3, d), n % 16);
        w.Str(Cell(dev, 5, d), DiskInquiry(n)).Int(Cell(dev, 7, d), 3).Int(Cell(dev, 14, d), 1);
    }
}

inline void AddTvc(Walk& w, int bus, int index, int disks) {
    const char* ctrl = ".1.3.6.1.4.1.7391.2.49.1.4.2.1";
    const char* dev = ".1.3.6.1.4.1.7391.2.49.1.5.2.1";
    const std::string i = Idx(index);
    w.Int(Cell(ctrl, 1, i), index)
        .Str(Cell(ctrl, 2, i), "Q47120-T4")
        .Str(Cell(ctrl, 3, i), "Catalix");
    w.Str(Cell(ctrl, 4, i), "PCI:Bus=" + std::to_string(bus - 1) + "&Device=0&Function=0");
    w.Str(Cell(ctrl, 6, i), "").Str(Cell(ctrl, 7, i), "1.4.0").Str(Cell(ctrl, 8, i), "");
    w.Int(Cell(ctrl, 16, i), 5);
    w.Int(".1.3.6.1.4.1.7391.2.49.1.3.4.0", 1);
    for (int n = 1; n <= disks; ++n) {
        const std::string d = Idx(index, n);
        w.Int(Cell(dev, 1, d), index).Int(Cell(dev, 2, d), n / 16).Int(Cell(dev, 3, d), n % 16);
        w.Int(Cell(dev, 4, d), 0)
            .Str(Cell(dev, 5, d), DiskProduct(n))
            .Str(Cell(dev, 6, d), "CATALIX");
        w.Int(Cell(dev, 9, d), 2).Int(Cell(dev, 11, d), 5).Str(Cell(dev, 16, d), "C001");
    }
}

}  // namespace cx::test
