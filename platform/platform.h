// The operating-system seam: every call the installer makes to the system goes
// through these thin functions, by topic in the headers below. win32/ calls
// the Windows functions named in each comment; posix/ is a stand-in that
// keeps the Windows meaning the installer relies on. No installer rule lives
// here. Including this header includes every topic.
#pragma once

#include "platform/accounts.h"
#include "platform/closing.h"
#include "platform/crypto.h"
#include "platform/directory_handles.h"
#include "platform/error.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
