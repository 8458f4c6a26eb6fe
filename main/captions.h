// The window's fixed texts in the console's language: every label, group box, check box and
// button caption, list item and the window's title, looked up by its original text. Texts
// without a translation (port names, rates, counters) stay as they are.
#pragma once

class QWidget;

void TranslateCaptions(QWidget* root);
