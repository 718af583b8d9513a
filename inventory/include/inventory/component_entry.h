// The two records through which collectors hand what they found to the inventory writers: one
// component row and one firmware-update object.
#pragma once

#include <cstddef>

#include "clients/component_types.h"
#include "platform/windef.h"

inline constexpr int kEntryTextSize = 128;

// One row of [Component Table]; every text holds at most 127 characters and is terminated.
struct ComponentEntry {
    ComponentEntry() = default;
    explicit ComponentEntry(DWORD type) : CompType(type) {}

    // All zero again, for the next row.
    void Clear();
    // Copy at most 127 characters; `fallback` is taken when `text` is empty and one is given.
    // A NULL text leaves the field as it is.
    void SetVendor(const char* text, const char* fallback = nullptr);
    void SetVersion(const char* text, const char* fallback = nullptr);
    void SetProdDescript(const char* text);

    DWORD PhysCont = 0;
    DWORD FuncCont = 0;
    DWORD CompType = kCompBusDevice;  // a ComponentType
    char Vendor[kEntryTextSize] = {};
    char ProdName[kEntryTextSize] = {};
    char ProdNumber[kEntryTextSize] = {};
    char ProdDescript[kEntryTextSize] = {};
    char Version[kEntryTextSize] = {};
    char ManuDate[kEntryTextSize] = {};
    char SerialNo[kEntryTextSize] = {};
    char Language[kEntryTextSize] = {};
    char CompId[kEntryTextSize] = {};
};

// One row of [Firmware Update]. Its update state is carried from scan to scan by ObjectName.
struct FwUpdateObject {
    FwUpdateObject() = default;
    explicit FwUpdateObject(const char* name);

    LONG UpdateState = 0;
    LONG CompIndex = 0;  // 0: the component written last
    char ObjectName[kEntryTextSize] = {};
    char ObjectParent[kEntryTextSize] = {};
    char ObjectPath[kEntryTextSize] = {};
};

// Copies at most `size` - 1 characters of `text` (NULL: "") into `field` and terminates it.
void CopyEntryText(char* field, const char* text, std::size_t size = kEntryTextSize);
