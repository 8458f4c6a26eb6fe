#include "main/captions.h"

#include <QString>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/consolelanguage.h"
#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/combobox.h"
#include "widgets/form.h"
#include "widgets/groupbox.h"
#include "widgets/label.h"

namespace {
template <class W>
void TranslateAll(QWidget* root) {
  for (W* w : root->findChildren<W*>()) {
    if (dynamic_cast<TCounterLabel*>(static_cast<QWidget*>(w))) continue;  // a count, not a text
    w->SetCaption(Tr(AnsiToQString(w->Caption()).toStdString()));
  }
}
}  // namespace

void TranslateCaptions(QWidget* root) {
  if (ConsoleLanguage() == TConsoleLanguage::Original) return;
  if (auto* form = dynamic_cast<TForm*>(root))
    form->SetCaption(Tr(AnsiToQString(form->Caption()).toStdString()));
  TranslateAll<TLabel>(root);
  TranslateAll<TGroupBox>(root);
  TranslateAll<TCheckBox>(root);
  TranslateAll<TButton>(root);
  for (TFlatComboBox* list : root->findChildren<TFlatComboBox*>()) {
    for (int i = 0; i < list->count(); ++i)
      list->setItemText(i, AnsiToQString(Tr(list->itemText(i).toStdString())));
  }
}

QString Caption(const char* utf8) { return AnsiToQString(Tr(utf8)); }
