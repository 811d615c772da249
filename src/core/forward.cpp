// SPDX-License-Identifier: MIT
//
// Version queries and the image-file calls forwarded to the sibling library.
#include "core/lifecycle.hpp"

#include <atomic>

using namespace pel::detail;

namespace {

std::atomic<os::HMODULE> sibling{nullptr};

constexpr int32_t kPrivateVersion = 11;
constexpr const char kPublicVersion[] = "1.1.DLL";

// Looks the entry point up on every call, as the sibling may differ from one
// load to the next, and passes every argument and the result through unchanged.
template <typename... Args> intptr_t forward(const char *entryName, Args... args) noexcept {
  os::HMODULE module = siblingModule();
  if (!module) return 0;
  os::FARPROC entry = os::GetProcAddress(module, entryName);
  if (!entry) return 0;
  using Entry = intptr_t(PELAPI *)(Args...);
  // Through the generic function pointer type, which converts to any other.
  auto generic = reinterpret_cast<void (*)()>(entry);
  return reinterpret_cast<Entry>(generic)(args...);
}

} // namespace

namespace pel::detail {

os::HMODULE loadedSibling() noexcept { return sibling.load(); }

os::HMODULE siblingModule() noexcept {
  if (os::HMODULE module = sibling.load()) return module;
  os::HMODULE loaded = os::LoadLibraryA(kSiblingFileName);
  if (!loaded) return nullptr;
  os::HMODULE expected = nullptr;
  if (!sibling.compare_exchange_strong(expected, loaded)) {
    // Another call loaded it meanwhile: keep one reference only.
    os::FreeLibrary(loaded);
    return expected;
  }
  return loaded;
}

void attachProcess() noexcept { siblingModule(); }

void detachProcess() noexcept {
  if (os::HMODULE module = sibling.exchange(nullptr)) os::FreeLibrary(module);
}

} // namespace pel::detail

extern "C" {

int32_t PELAPI pelGetPrivateVersion() noexcept { return kPrivateVersion; }

const char *PELAPI pelGetPublicVersion() noexcept { return kPublicVersion; }

intptr_t PELAPI fioGetImageFormat(intptr_t a) noexcept { return forward("fioGetImageFormat", a); }

intptr_t PELAPI fioGetImageFormatFromExt(intptr_t a) noexcept {
  return forward("fioGetImageFormatFromExt", a);
}

intptr_t PELAPI fioLoadImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                                 intptr_t e) noexcept {
  return forward("fioLoadImageFile", a, b, c, d, e);
}

intptr_t PELAPI fioSaveImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d) noexcept {
  return forward("fioSaveImageFile", a, b, c, d);
}

intptr_t PELAPI fioIsMultiImageFile(intptr_t a) noexcept {
  return forward("fioIsMultiImageFile", a);
}

intptr_t PELAPI fioSplitImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d) noexcept {
  return forward("fioSplitImageFile", a, b, c, d);
}

intptr_t PELAPI fioCombineImageFile(intptr_t a, intptr_t b, intptr_t c) noexcept {
  return forward("fioCombineImageFile", a, b, c);
}

} // extern "C"
