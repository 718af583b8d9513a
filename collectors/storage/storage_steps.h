// What the storage collectors share: sessions to the local SNMP service, a column-wise walk of a
// vendor table that stays on one row at a time, the device-type name tables, and the text rules
// for inquiry strings, version strings and device paths.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "inventory/cx_agent.h"

namespace cx::storage {

inline constexpr INT kSessionTimeoutMs = 5000;
inline constexpr INT kSessionRetries = 2;
inline constexpr INT kManagerRetries = 10;
// No table this agent reads has anywhere near this many rows; an agent that keeps inventing
// new ones is cut off here.
inline constexpr std::size_t kMaxTableRows = 65536;

bool StopRequested(const CCX_Agent& agent);
// The two abort lines of a member, `name` padded as the member's traces pad it.
void TraceAborts(const CCX_Agent& agent, const char* prefix);
// The three lines of a caught exception; `bar` is the line of "#" around it.
void TraceFatal(const char* operation, const char* bar);

// A manager session to the local agent that closes itself.
class Session {
  public:
    Session() : manager_(nullptr, nullptr, kSessionTimeoutMs, kManagerRetries) {}
    ~Session() { Close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool Open();
    void Close();
    CSnmpMgr& manager() { return manager_; }

  private:
    CSnmpMgr manager_;
    bool open_ = false;
};

// A walk of some columns of one table entry, a row at a time, below an optional index prefix.
// Every step asks for each column the cell after the row the first column is on, so a column
// that lacks a cell, or runs out, reads as empty on that row without shifting the others. The
// walk ends at the end of the first column, on a failed request, on an answer that does not
// advance, or after kMaxTableRows rows.
class TableWalk {
  public:
    TableWalk(CSnmpMgr& session, const char* entry, std::initializer_list<UINT> columns,
              std::initializer_list<UINT> prefix = {});
    bool Next();
    // One GET of the columns at `index` (below the prefix); true when every column answered.
    bool Get(std::initializer_list<UINT> index);
    // The walk stopped on a failed request rather than at the end of the table.
    bool Failed() const { return failed_; }

    // Values of the current row, by position in the column list: 0 or "" when the cell is
    // missing or of another type.
    UINT Int(UINT position);
    const char* Text(UINT position);
    // An object reference; empty when missing or of another type.
    std::vector<UINT> Oid(UINT position);
    // The index of the current row: the sub-identifiers after the first column (with the prefix).
    const std::vector<UINT>& Index() const { return index_; }

  private:
    bool Request(BYTE type, const std::vector<UINT>& index);
    bool OnRow(UINT position) const;

    CSnmpMgr& session_;
    std::vector<std::vector<UINT>> columns_;
    std::vector<UINT> prefix_;
    std::vector<UINT> index_;
    std::size_t rows_ = 0;
    bool failed_ = false;
};

// The device-type name tables; a number the table does not list gives its last entry.
enum class TypeTable {
    kHdDevice,
    kIomDevice,
    kIomEnclosure,
    kAacPeripheral,
    kDptPeripheral,
    kGamPeripheral,
    kLsiDevice,
    kTvcDevice,
    kTvcInterface,
};
const char* TypeName(TypeTable table, UINT number);
// The TVC RAID interface name as it appears inside firmware-object names.
const char* TvcInterfaceName(UINT number);

// The text rules, free of the agent so that they can be driven on their own.
struct Inquiry {
    std::string vendor;
    std::string product;
    std::string version;
};
// The HD_MIB layout: a blank within the first eight characters ends the vendor early.
Inquiry SplitHdInquiry(const char* text);
// The I/O-manager layout: 8 characters, blanks, 16, blanks, 4.
Inquiry SplitIomInquiry(const char* text);
// "Kernel: 4.1-0": description and version; without a colon all of it is the version.
void SplitAacVersion(ComponentEntry* component);
// "name; label: version; label: date": the version (or "N/A") and the raw date.
void SplitDptVersion(ComponentEntry* component, const char* text);
// "... ID:3 ... LUN:0": target and unit, -1 when absent.
void SplitDevPath(const char* path, LONG* target, LONG* unit);

// Adds `text` behind `field`, cut to the field.
void AppendText(char* field, const char* text);
bool ContainsNoCase(const char* text, const char* part);
bool StartsWithNoCase(const char* text, const char* prefix);

// The frame every controller handler and device scanner runs in: its session, the trace lines
// around it (`tag` names the session, as in "CONNECTED TO SNMP (DPT-BUS)"), the abort lines of
// `member`, and a caught exception. `body` returns what the member returns.
struct MemberNames {
    const char* session;       // "CSnmpDPT"
    const char* connected;     // "DPT-BUS"
    const char* member;        // "GetDPTType"
    const char* abort_prefix;  // "CX_MIB GetDPTType   : "
    const char* table;         // "DPT_BUS": "End of DPT_BUS entries"; nullptr: no such line
};
struct WalkResult {
    BOOL value = FALSE;
    bool failed = false;  // the last walk stopped on a failed request
};
WalkResult RunMember(CCX_Agent& agent, const MemberNames& names,
                     const std::function<WalkResult(CSnmpMgr&)>& body);

// A controller a handler took: its own "SCSISystem" container, the component, its firmware
// object; then a firmware part as a copy of the controller's component.
void RecordController(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl);
void InsertPart(CCX_Agent& agent, const ComponentEntry& controller, DWORD type,
                const char* descript, const char* version);
// The PCI revision as the version of a controller.
void RevisionVersion(ComponentEntry* component, const ScsiCtrl& ctrl);

// A firmware-update object for the component written last.
void InsertObject(CCX_Agent& agent, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The four device lines every scanner writes before it inserts a device.
void TraceDevice(const ComponentEntry& device);

}  // namespace cx::storage

// The I/O-manager tables of one ScanAICDevices call.
struct AicAssocEntry {
    DWORD T1 = 0, I1 = 0, T2 = 0, I2 = 0;
};
struct AicPortEntry {
    DWORD PortNo = 0;
    LONG TargetId = -1;
    LONG Lun = -1;
    char DevPath[128] = {};
};
struct AicDeviceEntry {
    DWORD Kind = 0;  // 2 device, 4 enclosure
    DWORD Type = 0;
    DWORD PortOrdinal = 0;
    LONG TargetId = 0;
    LONG Lun = 0;
    char Inquiry[128] = {};
};

// The association entries in table order, with an index by (T1, I1, T2) so that a lookup costs
// its hits rather than the whole table.
class AicAssocList {
  public:
    void Append(const AicAssocEntry& entry);
    const std::vector<std::size_t>* Matches(DWORD t1, DWORD i1, DWORD t2) const;
    const AicAssocEntry& At(std::size_t position) const { return entries_[position]; }
    std::size_t Count() const { return entries_.size(); }

  private:
    std::vector<AicAssocEntry> entries_;
    std::map<std::tuple<DWORD, DWORD, DWORD>, std::vector<std::size_t>> index_;
};
