#include "main/contextmenu.h"

#include <QFileDialog>
#include <QMenu>
#include <QShortcut>

#include "main/captions.h"
#include "main/finddialog.h"
#include "main/formfeatures.h"

namespace {
void AskSaveLogAs(TFormFeatures* features, TFormMain* form) {
  const QString path =
      QFileDialog::getSaveFileName(form, Caption("日志另存为"), QString(), Caption("文本文件 (*.txt *.log)"));
  if (!path.isEmpty()) features->SaveLogAs(path.toStdString());
}
}  // namespace

std::unique_ptr<QMenu> BuildContextMenu(TFormFeatures& features, TFormMain& form, QWidget* parent) {
  auto menu = std::make_unique<QMenu>(parent);
  // An end's own switches (reopen, reconnect) sit on its group box; they come first there.
  if (const QList<QAction*> own = parent->actions(); !own.isEmpty()) {
    menu->addActions(own);
    menu->addSeparator();
  }
  TFormFeatures* f = &features;
  QAction* find = menu->addAction(Caption("查找…"), [f] { f->ShowFind(); });
  find->setShortcut(QKeySequence::Find);
  QAction* pause = menu->addAction(Caption("暂停显示"));
  pause->setCheckable(true);
  pause->setChecked(form.VwRichEdit->Paused());
  pause->setShortcut(QKeySequence(Qt::Key_Pause));
  QObject::connect(pause, &QAction::toggled, menu.get(), [f](bool on) { f->SetPaused(on); });
  menu->addSeparator();
  QAction* saveAs = menu->addAction(Caption("日志另存为…"), [f, &form] { AskSaveLogAs(f, &form); });
  saveAs->setShortcut(QKeySequence::Save);
  QAction* toFile = menu->addAction(Caption("记录到文件…"));
  toFile->setCheckable(true);
  toFile->setChecked(features.FileLogging());
  QObject::connect(toFile, &QAction::triggered, menu.get(), [f, &form](bool on) {
    if (!on) return f->StopFileLog();
    const QString remembered = QString::fromStdString(f->CurrentSettings().logFilePath);
    const QString path = QFileDialog::getSaveFileName(&form, Caption("记录到文件"), remembered,
                                                      Caption("文本文件 (*.txt *.log)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) f->StartFileLog(path.toStdString());
  });
  menu->addSeparator();
  menu->addAction(Caption("选项…"), [f] { f->EditOptions(); });
  return menu;
}

void InstallContextMenus(TFormFeatures& features, TFormMain& form) {
  TFormFeatures* f = &features;
  TFormMain* w = &form;
  for (QWidget* target : std::initializer_list<QWidget*>{form.VwRichEdit, form.VwGroupBox1, form.VwGroupBox2,
                                                         form.VwGroupBox3, form.VwGroupBox4}) {
    target->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(target, &QWidget::customContextMenuRequested, &features,
                     [f, w, target](const QPoint& at) {
                       const std::unique_ptr<QMenu> menu = BuildContextMenu(*f, *w, target);
                       menu->exec(target->mapToGlobal(at));
                     });
  }
  auto shortcut = [&](QKeySequence keys, auto action) {
    auto* s = new QShortcut(keys, &form);
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, &features, action);
  };
  shortcut(QKeySequence::Find, [f] { f->ShowFind(); });
  shortcut(QKeySequence(Qt::Key_F3), [f] {
    f->ShowFind();
    f->FindDialog()->FindNext();
  });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [f] {
    f->ShowFind();
    f->FindDialog()->FindPrevious();
  });
  shortcut(QKeySequence(Qt::Key_Pause), [f, w] { f->SetPaused(!w->VwRichEdit->Paused()); });
  shortcut(QKeySequence::Save, [f, w] { AskSaveLogAs(f, w); });
}
