// The system's text for an error code in the console's language: Chinese beside the original
// texts, the platform's English with the English option; empty for a code without a text.
#pragma once
#include <string>

std::string ConsoleErrorText(int code);
