// TableWalk: the vendor tables read one row at a time, each column asked for the cell after the
// row the first column stands on.
#include <algorithm>

#include "base/oid_text.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

std::vector<UINT> ParseOid(const char* text) {
    AsnObjectIdentifier oid{};
    std::vector<UINT> ids;
    if (StringToOid(text, &oid) && oid.ids != nullptr) ids.assign(oid.ids, oid.ids + oid.idLength);
    SnmpUtilOidFree(&oid);
    return ids;
}

void SetName(AsnObjectIdentifier* name, const std::vector<UINT>& head,
             const std::vector<UINT>& tail) {
    SnmpUtilOidFree(name);
    const std::size_t length = head.size() + tail.size();
    name->ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(length * sizeof(UINT))));
    if (name->ids == nullptr) return;
    std::copy(head.begin(), head.end(), name->ids);
    std::copy(tail.begin(), tail.end(), name->ids + head.size());
    name->idLength = static_cast<UINT>(length);
}

bool StartsWith(const AsnObjectIdentifier& name, const std::vector<UINT>& head) {
    return name.ids != nullptr && name.idLength >= head.size() &&
           std::equal(head.begin(), head.end(), name.ids);
}

}  // namespace

TableWalk::TableWalk(CSnmpMgr& session, const char* entry, std::initializer_list<UINT> columns,
                     std::initializer_list<UINT> prefix)
    : session_(session), prefix_(prefix), index_(prefix) {
    const std::vector<UINT> base = ParseOid(entry);
    for (UINT column : columns) {
        columns_.push_back(base);
        columns_.back().push_back(column);
    }
}

bool TableWalk::Request(BYTE type, const std::vector<UINT>& index) {
    // The session's list only grows; a list of exactly these columns is made afresh, so that
    // no column of an earlier walk on the same session goes along.
    SnmpUtilVarBindListFree(&session_.m_VarBindList);
    session_.ResizeVarBindList(static_cast<UINT>(columns_.size()), FALSE);
    if (session_.m_VarBindList.len < columns_.size()) return false;
    for (std::size_t k = 0; k < columns_.size(); ++k)
        SetName(&session_.GetVarBind(static_cast<UINT>(k)).name, columns_[k], index);
    return session_.Request(type, nullptr, nullptr, nullptr) != FALSE;
}

bool TableWalk::Next() {
    if (columns_.empty()) return false;
    if (rows_ >= kMaxTableRows) {
        failed_ = true;
        return false;
    }
    const std::vector<UINT> asked = index_;
    if (!Request(SNMP_PDU_GETNEXT, asked)) {
        // Running off the end of the agent's MIB ends the table like any other object would.
        failed_ = session_.m_ErrorStatus != SNMP_ERRORSTATUS_NOSUCHNAME;
        return false;
    }
    const AsnObjectIdentifier& name = session_.GetVarBind(0).name;
    std::vector<UINT> range = columns_[0];
    range.insert(range.end(), prefix_.begin(), prefix_.end());
    if (!StartsWith(name, range)) return false;
    // The answer must lie beyond the row asked from; otherwise the agent would hand the same
    // rows round for ever.
    AsnObjectIdentifier asked_name{};
    SetName(&asked_name, columns_[0], asked);
    const bool advanced = SnmpUtilOidCmp(&name, &asked_name) > 0;
    SnmpUtilOidFree(&asked_name);
    if (!advanced) {
        failed_ = true;
        return false;
    }
    index_.assign(name.ids + columns_[0].size(), name.ids + name.idLength);
    ++rows_;
    return true;
}

bool TableWalk::Get(std::initializer_list<UINT> index) {
    index_ = prefix_;
    index_.insert(index_.end(), index);
    return Request(SNMP_PDU_GET, index_);
}

bool TableWalk::OnRow(UINT position) const {
    if (position >= columns_.size() || position >= session_.m_VarBindList.len) return false;
    const AsnObjectIdentifier& name = session_.m_VarBindList.list[position].name;
    const std::vector<UINT>& column = columns_[position];
    return name.idLength == column.size() + index_.size() && StartsWith(name, column) &&
           std::equal(index_.begin(), index_.end(), name.ids + column.size());
}

UINT TableWalk::Int(UINT position) {
    return OnRow(position) ? session_.GetInteger(session_.GetVarBind(position)) : 0;
}

const char* TableWalk::Text(UINT position) {
    if (!OnRow(position)) return "";
    SnmpVarBind& binding = session_.GetVarBind(position);
    if (binding.value.asnType != ASN_OCTETSTRING) return "";
    return session_.GetString(binding);
}

std::vector<UINT> TableWalk::Oid(UINT position) {
    if (!OnRow(position)) return {};
    const AsnAny& value = session_.GetVarBind(position).value;
    if (value.asnType != ASN_OBJECTIDENTIFIER || value.asnValue.object.ids == nullptr) return {};
    const AsnObjectIdentifier& object = value.asnValue.object;
    return std::vector<UINT>(object.ids, object.ids + object.idLength);
}

}  // namespace cx::storage
