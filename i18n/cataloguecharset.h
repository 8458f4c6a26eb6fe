// Catalogues whose texts are in a character set other than UTF-8: the set is named in the
// header entry ("charset=" in the translation of the empty text), and such a catalogue is
// rebuilt once, at opening, with UTF-8 texts, so that lookups stay plain searches.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "i18n/mocatalogue.h"

namespace i18n {

// The set the header entry names; empty when there is no header or it names none.
std::string DeclaredCharset(const TMoCatalogue& mo);

// The catalogue with every text turned from its declared set into UTF-8, sorted again, in the
// MO layout. A text that cannot be decoded stays as it was. Nothing when no conversion is
// needed (UTF-8, ASCII or no set declared) or possible (the platform has no converter).
std::optional<std::vector<unsigned char>> CatalogueInUtf8(const TMoCatalogue& mo);

}  // namespace i18n
