// The serial kit's unit start-up and shut-down. The kit is linked in but not used as a serial
// port; at start-up it registers its resource domain, translates its error texts and creates
// its font object. Call InitializeSerialKitUnit after InitializeTranslationUnit and
// FinalizeSerialKitUnit before FinalizeTranslationUnit.
#pragma once
#include <string>

inline constexpr int kSerialKitErrorCount = 23;

struct TSerialKitFont {
  std::string Name;
  int Height = 0;
  bool Bold = false;
};

// Throws Exception when the translation unit is not started or a translation fails; nothing is
// left half made then except the domain registration.
void InitializeSerialKitUnit();
// Frees what start-up made. Safe when not started.
void FinalizeSerialKitUnit();

bool SerialKitStarted();
// The translated error text number `index` (0 to 22); empty when not started or out of range.
std::u16string SerialKitErrorText(int index);
// The English original of error text number `index`; empty when out of range.
std::u16string SerialKitErrorSource(int index);
// Null when not started.
const TSerialKitFont* SerialKitFont();
