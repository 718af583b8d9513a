// One loaded extension agent: its library, its five entry points and the views it serves.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "binding.h"
#include "dispatch.h"

namespace cx::host {

struct Trap {
    Oid enterprise;
    long generic = 0;
    long specific = 0;
    std::uint32_t timestamp = 0;
    std::vector<Binding> bindings;
};

class ExtensionAgent : public QueryTarget {
  public:
    // Loads the library, resolves the entry points and runs SnmpExtensionInit and then
    // SnmpExtensionInitEx until it returns FALSE. On failure returns null and says why in
    // `reason`; the library is unloaded again.
    static std::unique_ptr<ExtensionAgent> Load(const std::string& name,
                                                const std::string& library_path,
                                                std::uint32_t time_zero, std::string* reason);
    ~ExtensionAgent() override;
    ExtensionAgent(const ExtensionAgent&) = delete;
    ExtensionAgent& operator=(const ExtensionAgent&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& LibraryPath() const { return library_path_; }
    const std::vector<Oid>& Views() const { return views_; }

    // One SnmpExtensionQuery call with the bindings in order; they are replaced by the answer.
    // An exception from the agent counts as FALSE with genErr at the first binding.
    QueryOutcome Query(int request_type, std::vector<Binding>& bindings) override;
    // Through the agent's CxExtensionLookup where it has one; kUnknown otherwise.
    Holding Lookup(const Oid& name) override;

    // True once when the agent signalled its trap event (never blocks).
    bool TrapSignalled();
    // One SnmpExtensionTrap call: false when the agent has nothing (more) to send.
    bool NextTrap(Trap* trap);

    // SnmpExtensionClose, once. Returns false when the agent left a thread behind that could
    // not be stopped, in which case its code must stay loaded.
    bool Close();
    // Unloads the library unless Close reported a thread left behind; its unload hook runs
    // within, and the log says whether the library is gone.
    void Unload();

  private:
    struct EntryPoints;
    ExtensionAgent(std::string name, std::string library_path, void* library);
    bool Initialise(std::uint32_t time_zero, std::string* reason);
    void ReportUnload() const;

    std::string name_;
    std::string library_path_;
    void* library_ = nullptr;
    std::unique_ptr<EntryPoints> entry_;
    void* trap_event_ = nullptr;
    std::vector<Oid> views_;
    bool closed_ = false;
    bool keep_loaded_ = false;
};

}  // namespace cx::host
