// Whole numbers as the numeric edit reads and shows them, as pure functions.
#pragma once
#include <string>
#include <string_view>

// Reads a whole number: optional blanks around, an optional sign, digits with optional ","
// grouping, or a negative in parentheses as FormatGrouped writes it. Empty, unreadable or
// out-of-range text reads 0.
int ParseWholeNumber(std::string_view text);
// The display format ",0;(,0)": digit groups of three, negatives in parentheses (-1234 -> "(1,234)").
std::string FormatGrouped(int value);
