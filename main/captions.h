// The window's fixed texts in the console's language: every label, group box, check box and
// button caption, list item and the window's title, looked up by its original text. Texts
// without a translation (port names, rates, counters) stay as they are.
#pragma once

class QString;
class QWidget;

void TranslateCaptions(QWidget* root);
// One of the console's own texts, given in its original, in the console's language.
QString Caption(const char* utf8);
