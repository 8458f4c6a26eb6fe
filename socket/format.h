// The class library's Format for message templates: "%s" and "%d" take the next argument,
// "%<n>:s" argument n, "%%" is a percent sign. Arguments arrive already as text, so a
// template that a translator got wrong can garble the message but never read beyond it.
#pragma once
#include <string>
#include <vector>

std::string FormatMessageArgs(const std::string& pattern, const std::vector<std::string>& args);
