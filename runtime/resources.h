// Resource strings: the program's compiled-in string table and the loader routine that every
// resource string is read through. The loader sits in a slot that another unit may swap
// (the translation layer does, at start-up) and must restore.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/wintypes.h"

// The program's own module.
extern HMODULE HInstance;

struct ResourceStringRecord {
  const HMODULE* Module;
  // Below 65536: a string-table identifier; 65536 or more: the address of a zero-terminated text.
  std::intptr_t Identifier;
};

// The module that holds the resources of `module` (the program holds its own).
HMODULE FindResourceHInstance(HMODULE module);

// Copies at most bufferLength - 1 characters of the entry and a terminating zero; returns the
// number copied, 0 when the entry does not exist. A bufferLength of 0 is refused (0).
int LoadStringW(HMODULE module, UINT id, char16_t* buffer, int bufferLength);
int LoadStringA(HMODULE module, UINT id, char* buffer, int bufferLength);

struct TStringTableEntry {
  UINT id;
  const char16_t* text;
};

// Adds a component's entries to the string table of `module`; an id already there keeps its text.
// Answers true, so that a component can add its entries while the program starts:
//   inline const bool kAdded = AddStringTableEntries(HInstance, kEntries);
template <std::size_t N>
bool AddStringTableEntries(HMODULE module, const TStringTableEntry (&entries)[N]) {
  return AddStringTableEntries(module, entries, N);
}
bool AddStringTableEntries(HMODULE module, const TStringTableEntry* entries, std::size_t count);

using TResourceLoader = std::string (*)(const ResourceStringRecord* record);

// Reads a resource string through the loader in the slot.
std::string LoadResourceString(const ResourceStringRecord* record);
// The loader as the program has it before anyone swaps it: untranslated, in the 8-bit code page.
std::string DefaultLoadResourceString(const ResourceStringRecord* record);
// Puts `loader` into the slot and returns what was there.
TResourceLoader ExchangeResourceLoader(TResourceLoader loader);
