// The event sources' registration under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application, as /install leaves it and
// /uninstall takes it away, checked in full: each source's key, its message file where the
// executables stand (REG_EXPAND_SZ), its types, and every event ID formatted from that file as
// Event Viewer would. On the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace calvera::e2e {

// Succeeds when every source of EventSources() is registered with its executable in `folder`
// (ending in '\') as its message file and TypesSupported 7, and that file renders each of the
// source's IDs.
testing::AssertionResult EventSourcesRegistered(const std::wstring& folder);
// Succeeds when no source of EventSources() has a key.
testing::AssertionResult EventSourcesAbsent();

}  // namespace calvera::e2e
