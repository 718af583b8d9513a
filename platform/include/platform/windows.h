// The Windows API surface of the platform layer, in one include.
#pragma once

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/module.h"
#include "platform/profile.h"
#include "platform/synch.h"
#include "platform/sysinfo.h"
#include "platform/threads.h"
#include "platform/timing.h"
#include "platform/windef.h"
#include "platform/winerror.h"
#include "platform/winreg.h"
