// A process handle's object: the process identifier it was opened for.
#pragma once

#include "core/handle_table.h"

namespace cx::platform {

class ProcessObject : public KernelObject {
  public:
    explicit ProcessObject(DWORD id) : id_(id) {}
    DWORD Id() const { return id_; }

  private:
    DWORD id_;
};

}  // namespace cx::platform
