// Reading the saved inventory file into the cells of the MIB, and registering them.
#include "mib_content.h"

#include <cstdio>

#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/ascii_case.h"

namespace cx::inventory {

namespace {

constexpr BYTE kReadOnly = 0;
constexpr UINT kNoRow = 0xFFFFFFFFu;  // a probe key holding -1, or missing

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

DWORD ScanStateOf(const char* text) {
    if (cx::EqualsIgnoringCase(text, "SCANNING")) return kScanStateScanning;
    if (cx::EqualsIgnoringCase(text, "DONE")) return kScanStateDone;
    return kScanStateOther;
}

void AddNumber(MibContent& content, const MibObject& object, LONG row, DWORD number) {
    content.cells.push_back({&object, row, static_cast<LONG>(number), {}});
}

void AddText(MibContent& content, const MibObject& object, LONG row, const char* text) {
    content.cells.push_back({&object, row, 0, text});
}

void ReadScalars(ProfileFile& saved, MibContent& content) {
    AddNumber(content, kLastDateObject, 0,
              HexValue(saved.ReadString(kLastDateSection, "LastDate", "")));
    AddNumber(content, kLastScanObject, 0,
              HexValue(saved.ReadString(kLastDateSection, "LastScan", "")));
    content.scan_state = ScanStateOf(saved.ReadString(kLastDateSection, "ScanState", ""));
    AddNumber(content, kScanStateObject, 0, content.scan_state);
    AddText(content, kAgentIdObject, 0, saved.ReadString(kAgentInfoSection, "AgentId", ""));
    AddText(content, kAgentCompanyObject, 0,
            saved.ReadString(kAgentInfoSection, "AgentCompany", ""));
    AddText(content, kAgentVersionObject, 0,
            saved.ReadString(kAgentInfoSection, "AgentVersion", ""));
    AddText(content, kAgentBuildObject, 0, saved.ReadString(kAgentInfoSection, "AgentBuild", ""));
}

void ReadComponentDefinitions(ProfileFile& saved, MibContent& content) {
    LONG row = 0;
    for (const char* key = saved.FirstKey(kComponentDefinitionSection);
         *key != '\0' && AgentShutdown == 0; key = saved.NextKey()) {
        ++row;
        AddNumber(content, kCompDefNoObject, row, static_cast<DWORD>(row));
        AddNumber(content, kCompDefTypeObject, row, HexValue(key));
        AddText(content, kCompDefNameObject, row,
                saved.ReadString(kComponentDefinitionSection, key, ""));
    }
}

const char* RowKey(char* buffer, std::size_t size, const char* key, LONG row) {
    std::snprintf(buffer, size, "%s.%d", key, row);
    return buffer;
}

void ReadRow(ProfileFile& saved, const MibRowTable& table, LONG row, UINT probe,
             MibContent& content) {
    char key[64];
    for (const MibColumn& column : table.columns) {
        switch (column.source) {
            case CellSource::kRowNumber:
                AddNumber(content, column.object, row, static_cast<DWORD>(row));
                break;
            case CellSource::kProbe: AddNumber(content, column.object, row, probe); break;
            case CellSource::kInteger:
                AddNumber(
                    content, column.object, row,
                    saved.ReadInt(table.section, RowKey(key, sizeof(key), column.key, row), 0));
                break;
            case CellSource::kText:
                AddText(
                    content, column.object, row,
                    saved.ReadString(table.section, RowKey(key, sizeof(key), column.key, row), ""));
                break;
        }
    }
}

// TRUE when the table stopped because the agent shuts down.
bool ReadTable(ProfileFile& saved, const MibRowTable& table, MibContent& content) {
    char key[64];
    for (LONG row = 1;; ++row) {
        UINT probe =
            saved.ReadInt(table.section, RowKey(key, sizeof(key), table.probe_key, row), -1);
        if (probe != kNoRow) ReadRow(saved, table, row, probe, content);
        if (probe == kNoRow) return false;
        if (AgentShutdown != 0) return true;
    }
}

}  // namespace

DWORD HexValue(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && HexDigit(text[2]) >= 0) text += 2;
    DWORD value = 0;
    for (int digit = HexDigit(*text); digit >= 0; digit = HexDigit(*++text)) {
        if (value > 0x0FFFFFFFu) return 0xFFFFFFFFu;  // too large: the largest value
        value = value * 16 + static_cast<DWORD>(digit);
    }
    return negative ? 0u - value : value;
}

MibContent ReadSavedMib(ProfileFile& saved) {
    MibContent content;
    ReadScalars(saved, content);
    ReadComponentDefinitions(saved, content);
    for (const MibRowTable& table : ProbedTables()) {
        content.aborted = ReadTable(saved, table, content);
    }
    return content;
}

MibContent ReducedMib(DWORD last_date, DWORD scan_state, const std::string& company,
                      const std::string& version) {
    MibContent content;
    content.scan_state = scan_state;
    AddNumber(content, kLastDateObject, 0, last_date);
    AddNumber(content, kScanStateObject, 0, scan_state);
    AddText(content, kAgentCompanyObject, 0, company.c_str());
    AddText(content, kAgentVersionObject, 0, version.c_str());
    AddText(content, kAgentBuildObject, 0, kMibBuildStamp);
    return content;
}

void RegisterCells(CSnmpMibRegistry<CSnmpAgent>& tree, const std::vector<MibCell>& cells) {
    for (const MibCell& cell : cells) {
        const MibObject& object = *cell.object;
        bool text = object.type == ASN_OCTETSTRING;
        if (cell.row == 0 && text) {
            tree.AddConstMibEntry(object.oid, object.name, cell.text.c_str(), object.type,
                                  kReadOnly);
        } else if (cell.row == 0) {
            tree.AddConstMibEntry(object.oid, object.name, cell.number, object.type, kReadOnly);
        } else if (text) {
            tree.AddConstTableEntry(object.oid, object.name, cell.text.c_str(), object.type,
                                    cell.row);
        } else {
            tree.AddConstTableEntry(object.oid, object.name, cell.number, object.type, cell.row);
        }
    }
}

}  // namespace cx::inventory
