// SPDX-License-Identifier: MIT
//
// Image lists: an ordered, growable array of owned image handles.
#include "core/detail.hpp"

#include <cstdint>

using namespace pel::detail;

namespace {

constexpr uint32_t kMinCapacity = 32;

// A zeroed slot array, or null when its byte size does not fit or the heap
// refuses it.
PELIMAGE **newSlots(uint32_t capacity) {
  if (capacity > SIZE_MAX / sizeof(PELIMAGE *)) return nullptr;
  return globalNew<PELIMAGE *>(std::size_t{capacity} * sizeof(PELIMAGE *)).release();
}

bool inRange(const IMAGELIST *list, uint32_t index) { return list && index < list->count; }

// Makes room for one more entry, doubling a full list.
bool roomForOne(IMAGELIST *list) {
  if (list->count < list->capacity) return true;
  if (list->capacity > UINT32_MAX / 2) return false;
  return pelReallocImagelist(list, list->capacity * 2) == 1;
}

// Takes the entry at index out of the list, closing the gap.
PELIMAGE *takeOut(IMAGELIST *list, uint32_t index) {
  PELIMAGE *entry = list->images[index];
  const uint32_t rest = list->count - index - 1;
  std::memmove(list->images + index, list->images + index + 1, rest * sizeof(PELIMAGE *));
  --list->count;
  list->images[list->count] = nullptr;
  return entry;
}

} // namespace

extern "C" {

IMAGELIST *PELAPI pelCreateImagelist(uint32_t capacity) noexcept {
  auto list = globalNew<IMAGELIST>();
  if (!list) return nullptr;
  list->capacity = capacity > kMinCapacity ? capacity : kMinCapacity;
  list->images = newSlots(list->capacity);
  if (!list->images) return nullptr;
  return list.release();
}

void PELAPI pelDestroyImagelist(IMAGELIST *list) noexcept {
  if (!list) return;
  if (list->images) {
    for (uint32_t i = 0; i < list->count; ++i) pelDestroyImage(list->images[i]);
    os::GlobalFree(list->images);
  }
  os::GlobalFree(list);
}

int32_t PELAPI pelReallocImagelist(IMAGELIST *list, uint32_t capacity) noexcept {
  if (!list || capacity <= kMinCapacity || capacity <= list->count) return 0;
  PELIMAGE **slots = newSlots(capacity);
  if (!slots) return 0;
  if (list->count) std::memcpy(slots, list->images, list->count * sizeof(PELIMAGE *));
  os::GlobalFree(list->images);
  list->images = slots;
  list->capacity = capacity;
  return 1;
}

int32_t PELAPI pelAddImage(IMAGELIST *list, PELIMAGE *image) noexcept {
  if (!list) return -1;
  return pelInsertImage(list, list->count, image);
}

int32_t PELAPI pelInsertImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) noexcept {
  // An index must come back as a non-negative result.
  if (!list || index > list->count || index > INT32_MAX) return -1;
  if (!roomForOne(list)) return -1;
  std::memmove(list->images + index + 1, list->images + index,
               (list->count - index) * sizeof(PELIMAGE *));
  list->images[index] = image;
  ++list->count;
  return static_cast<int32_t>(index);
}

PELIMAGE *PELAPI pelGetOutImage(IMAGELIST *list, uint32_t index) noexcept {
  return inRange(list, index) ? takeOut(list, index) : nullptr;
}

int32_t PELAPI pelRemoveImage(IMAGELIST *list, uint32_t index) noexcept {
  if (!inRange(list, index)) return 0;
  pelDestroyImage(takeOut(list, index));
  return 1;
}

PELIMAGE *PELAPI pelGetAtImage(const IMAGELIST *list, uint32_t index) noexcept {
  return inRange(list, index) ? list->images[index] : nullptr;
}

int32_t PELAPI pelSetAtImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) noexcept {
  if (!inRange(list, index)) return 0;
  // Storing what the slot holds must not destroy it first.
  if (list->images[index] != image) {
    pelDestroyImage(list->images[index]);
    list->images[index] = image;
  }
  return 1;
}

PELIMAGE *PELAPI pelReplaceImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) noexcept {
  if (!inRange(list, index)) return nullptr;
  PELIMAGE *previous = list->images[index];
  list->images[index] = image;
  return previous;
}

int32_t PELAPI pelReplaceImageInside(void) noexcept { return 0; }

} // extern "C"
