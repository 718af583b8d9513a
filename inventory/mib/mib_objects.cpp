// The Catalix MIB's scalars and columns, and the saved-file sections their rows come from.
#include "mib_objects.h"

#include "platform/snmp.h"

namespace cx::inventory {

namespace {

#define CX_MIB_OID(suffix) ".1.3.6.1.4.1.7391.2.10.2.10" suffix

using enum CellSource;
using namespace row_key;

constexpr MibColumn kPhysicalDefinitionColumns[] = {
    {{CX_MIB_OID(".3.2.1.1.0"), "avkCxPhysNodeDefNo", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".3.2.1.2.0"), "avkCxPhysNodeDefType", ASN_INTEGER}, kProbe, kType},
    {{CX_MIB_OID(".3.2.1.3.0"), "avkCxPhysNodeDefName", ASN_OCTETSTRING}, kText, kName},
};

constexpr MibColumn kFunctionalDefinitionColumns[] = {
    {{CX_MIB_OID(".3.3.1.1.0"), "avkCxFuncNodeDefNo", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".3.3.1.2.0"), "avkCxFuncNodeDefType", ASN_INTEGER}, kProbe, kType},
    {{CX_MIB_OID(".3.3.1.3.0"), "avkCxFuncNodeDefName", ASN_OCTETSTRING}, kText, kName},
};

// "avkCxPhyscContName" is the name managers have always seen; it stays as it is.
constexpr MibColumn kPhysicalContainerColumns[] = {
    {{CX_MIB_OID(".4.1.1.1.0"), "avkCxPhysContNo", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".4.1.1.2.0"), "avkCxPhysContType", ASN_INTEGER}, kProbe, kType},
    {{CX_MIB_OID(".4.1.1.3.0"), "avkCxPhysContParent", ASN_INTEGER}, kInteger, kParent},
    {{CX_MIB_OID(".4.1.1.4.0"), "avkCxPhyscContName", ASN_OCTETSTRING}, kText, kName},
};

// The trailing blank of "avkCxFuncContNo " is part of the registered name.
constexpr MibColumn kFunctionalContainerColumns[] = {
    {{CX_MIB_OID(".4.2.1.1.0"), "avkCxFuncContNo ", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".4.2.1.2.0"), "avkCxFuncContType", ASN_INTEGER}, kProbe, kType},
    {{CX_MIB_OID(".4.2.1.3.0"), "avkCxFuncContParent", ASN_INTEGER}, kInteger, kParent},
    {{CX_MIB_OID(".4.2.1.4.0"), "avkCxFuncContName", ASN_OCTETSTRING}, kText, kName},
};

constexpr MibColumn kComponentColumns[] = {
    {{CX_MIB_OID(".5.1.1.1.0"), "avkCxInfoNo", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".5.1.1.2.0"), "avkCxInfoPhysContNo", ASN_INTEGER}, kProbe, kPhysCont},
    {{CX_MIB_OID(".5.1.1.3.0"), "avkCxInfoFuncContNo", ASN_INTEGER}, kInteger, kFuncCont},
    {{CX_MIB_OID(".5.1.1.4.0"), "avkCxInfoCompType", ASN_INTEGER}, kInteger, kCompType},
    {{CX_MIB_OID(".5.1.1.5.0"), "avkCxInfoVendor", ASN_OCTETSTRING}, kText, kVendor},
    {{CX_MIB_OID(".5.1.1.6.0"), "avkCxInfoProductName", ASN_OCTETSTRING}, kText, kProdName},
    {{CX_MIB_OID(".5.1.1.7.0"), "avkCxInfoProductNumber", ASN_OCTETSTRING}, kText, kProdNumber},
    {{CX_MIB_OID(".5.1.1.8.0"), "avkCxInfoProductDescription", ASN_OCTETSTRING},
     kText,
     kProdDescript},
    {{CX_MIB_OID(".5.1.1.9.0"), "avkCxInfoVersion", ASN_OCTETSTRING}, kText, kVersion},
    {{CX_MIB_OID(".5.1.1.10.0"), "avkCxInfoManufacturingDate", ASN_OCTETSTRING}, kText, kManuDate},
    {{CX_MIB_OID(".5.1.1.11.0"), "avkCxInfoSerialNo", ASN_OCTETSTRING}, kText, kSerialNo},
    {{CX_MIB_OID(".5.1.1.12.0"), "avkCxInfoLanguage", ASN_OCTETSTRING}, kText, kLanguage},
    {{CX_MIB_OID(".5.1.1.13.0"), "avkCxInfoCompId", ASN_OCTETSTRING}, kText, kCompId},
};

// Registered No, ComponentIndex, Name, then columns 3 to 5. Column 3 is named "...Path" and
// carries the parent, column 4 the other way round: managers read them that way.
constexpr MibColumn kFirmwareUpdateColumns[] = {
    {{CX_MIB_OID(".6.1.1.1.0"), "AvkCxFwuObjectNo", ASN_INTEGER}, kRowNumber, nullptr},
    {{CX_MIB_OID(".6.1.1.6.0"), "AvkCxFwuObjectComponentIndex", ASN_INTEGER}, kProbe, kCompIndex},
    {{CX_MIB_OID(".6.1.1.2.0"), "AvkCxFwuObjectName", ASN_OCTETSTRING}, kText, kObjectName},
    {{CX_MIB_OID(".6.1.1.3.0"), "AvkCxFwuObjectPath", ASN_OCTETSTRING}, kText, kObjectParent},
    {{CX_MIB_OID(".6.1.1.4.0"), "AvkCxFwuObjectParent", ASN_OCTETSTRING}, kText, kObjectPath},
    {{CX_MIB_OID(".6.1.1.5.0"), "AvkCxFwuObjectUpdateState", ASN_INTEGER}, kInteger, kUpdateState},
};

constexpr MibRowTable kProbedTables[] = {
    {kPhysicalDefinitionSection, kType, kPhysicalDefinitionColumns},
    {kFunctionalDefinitionSection, kType, kFunctionalDefinitionColumns},
    {kPhysicalContainerSection, kType, kPhysicalContainerColumns},
    {kFunctionalContainerSection, kType, kFunctionalContainerColumns},
    {kComponentTableSection, kPhysCont, kComponentColumns},
    {kFirmwareUpdateSection, kCompIndex, kFirmwareUpdateColumns},
};

}  // namespace

const MibObject kAgentIdObject{CX_MIB_OID(".1.1.0"), "avkCxAgentId", ASN_OCTETSTRING};
const MibObject kAgentCompanyObject{CX_MIB_OID(".1.2.0"), "avkCxAgentCompany", ASN_OCTETSTRING};
const MibObject kAgentVersionObject{CX_MIB_OID(".1.3.0"), "avkCxAgentVersion", ASN_OCTETSTRING};
const MibObject kAgentBuildObject{CX_MIB_OID(".1.4.0"), "avkCxAgentBuild", ASN_OCTETSTRING};
const MibObject kLastDateObject{CX_MIB_OID(".2.1.0"), "avkCxLastDate", ASN_INTEGER};
const MibObject kLastScanObject{CX_MIB_OID(".2.2.0"), "avkCxLastScan", ASN_INTEGER};
const MibObject kScanStateObject{CX_MIB_OID(".2.3.0"), "avkCxScanState", ASN_INTEGER};

const MibObject kCompDefNoObject{CX_MIB_OID(".3.1.1.1.0"), "avkCxCompDefNo", ASN_INTEGER};
const MibObject kCompDefTypeObject{CX_MIB_OID(".3.1.1.2.0"), "avkCxCompDefType", ASN_INTEGER};
const MibObject kCompDefNameObject{CX_MIB_OID(".3.1.1.3.0"), "avkCxCompDefName", ASN_OCTETSTRING};

std::span<const MibRowTable> ProbedTables() { return kProbedTables; }

}  // namespace cx::inventory

#undef CX_MIB_OID
