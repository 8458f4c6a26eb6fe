#include "serialkit/serialkit.h"

#include <array>
#include <memory>

#include "i18n/translation.h"

namespace {
constexpr std::array<const char16_t*, kSerialKitErrorCount> kErrorSources = {
    u"Port is not open",
    u"Port is already open",
    u"Cannot open the port",
    u"Cannot close the port",
    u"Cannot read the port settings",
    u"Cannot apply the port settings",
    u"Cannot set the time-outs",
    u"Cannot set the buffer sizes",
    u"Cannot purge the port",
    u"Cannot read from the port",
    u"Cannot write to the port",
    u"Read timed out",
    u"Write timed out",
    u"Cannot wait for line events",
    u"Cannot set the line signals",
    u"Cannot read the line status",
    u"Invalid baud rate",
    u"Invalid number of data bits",
    u"Invalid parity",
    u"Invalid number of stop bits",
    u"Invalid flow control",
    u"The line was broken off",
    u"Hardware error on the port",
};

struct TSerialKitState {
  std::array<std::u16string, kSerialKitErrorCount> ErrorTexts;
  TSerialKitFont Font;
};

std::unique_ptr<TSerialKitState> g_state;
}  // namespace

void InitializeSerialKitUnit() {
  if (g_state) return;
  RegisterResourceDomain("serialkit");
  auto state = std::make_unique<TSerialKitState>();
  for (int i = 0; i < kSerialKitErrorCount; ++i)
    state->ErrorTexts[std::size_t(i)] = DefaultTranslate(kErrorSources[std::size_t(i)]);
  state->Font = TSerialKitFont{"Sans Serif", -11, false};
  g_state = std::move(state);
}

void FinalizeSerialKitUnit() { auto state = std::move(g_state); }

bool SerialKitStarted() { return static_cast<bool>(g_state); }

std::u16string SerialKitErrorText(int index) {
  if (!g_state || index < 0 || index >= kSerialKitErrorCount) return {};
  return g_state->ErrorTexts[std::size_t(index)];
}

std::u16string SerialKitErrorSource(int index) {
  if (index < 0 || index >= kSerialKitErrorCount) return {};
  return kErrorSources[std::size_t(index)];
}

const TSerialKitFont* SerialKitFont() { return g_state ? &g_state->Font : nullptr; }
