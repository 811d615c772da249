// SPDX-License-Identifier: MIT
//
// The DLL's entry point: attach looks for the sibling library (a failure does
// not fail the attach), detach releases it; thread notifications do nothing.
#include "core/lifecycle.hpp"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
  case DLL_PROCESS_ATTACH: pel::detail::attachProcess(); break;
  case DLL_PROCESS_DETACH: pel::detail::detachProcess(); break;
  default: break;
  }
  return TRUE;
}
