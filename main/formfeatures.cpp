#include "main/formfeatures.h"

#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSaveFile>

#include "main/captions.h"
#include "main/contextmenu.h"
#include "main/finddialog.h"
#include "platform/text/codepage.h"
#include "relay/consolelanguage.h"
#include "runtime/exception.h"

namespace {
int IndexOf(const std::vector<std::string>& items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return int(i);
  return -1;
}
}  // namespace

TFormFeatures::TFormFeatures(TFormMain& form, TFeatureConfig config, const TConsoleSettings& settings)
    : form_(form),
      config_(std::move(config)),
      loaded_(settings),
      language_(settings.language),
      logPath_(settings.logFilePath) {
  TranslateCaptions(&form_);
  ports_ = std::make_unique<TPortListRefresher>(form_, config_.ports, config_.watchDevices);
  Apply(settings);
  form_.OnLogLine = [this](const SYSTEMTIME& utc, TColor color, const std::string& text, std::size_t hexFrom,
                           std::size_t omitted) { LogLine(utc, color, text, hexFrom, omitted); };
  form_.installEventFilter(this);
  InstallContextMenus(*this, form_);
}

TFormFeatures::~TFormFeatures() {
  form_.removeEventFilter(this);
  form_.OnLogLine = nullptr;
  writer_.reset();  // what is queued is written first
}

void TFormFeatures::Apply(const TConsoleSettings& s) {
  // No change event is raised: nothing opens or connects at start-up.
  ports_->Select(s.portLink, s.portName);
  const int baud = IndexOf(form_.VwCbBoxBand->Items(), s.baudRate);
  if (baud >= 0) form_.VwCbBoxBand->SetItemIndex(baud);
  form_.VwCbBoxData->SetItemIndex(s.dataBitsIndex);
  form_.VwCbBoxParity->SetItemIndex(s.parityIndex);
  form_.FlatCbBoxStop->SetItemIndex(s.stopBitsIndex);
  form_.VwSEditTimeOut->SetValue(s.timeout);
  form_.VwEdit->SetText(s.host);
  form_.VwNumEdit->SetValue(s.port);
  form_.VwCheckBoxDisplay->SetChecked(s.display);
  form_.VwCheckBoxHex->SetChecked(s.hex);
  form_.VwSizePanel1->SetPanelWidth(s.logPaneWidth);
  form_.Comm->SetInxXonXoffFlow(s.inputXonXoff);
  if (!form_.SerialOpen()) form_.ApplyCommSettings();
}

TConsoleSettings TFormFeatures::CurrentSettings() const {
  TConsoleSettings s = loaded_;
  // A port that is not there now is still the one to look for next time.
  if (!form_.VwCbBoxPort->Text().empty()) {
    s.portName = form_.VwCbBoxPort->Text();
    s.portLink = ports_->SelectedLink();
  }
  s.baudRate = form_.VwCbBoxBand->Text();
  s.dataBitsIndex = form_.VwCbBoxData->ItemIndex();
  s.parityIndex = form_.VwCbBoxParity->ItemIndex();
  s.stopBitsIndex = form_.FlatCbBoxStop->ItemIndex();
  s.timeout = int(form_.VwSEditTimeOut->Value());
  s.host = form_.VwEdit->Text();
  s.port = form_.VwNumEdit->Value();
  s.display = form_.VwCheckBoxDisplay->Checked();
  s.hex = form_.VwCheckBoxHex->Checked();
  s.logPaneWidth = form_.VwSizePanel1->width();
  s.inputXonXoff = form_.Comm->InxXonXoffFlow();
  s.language = language_;
  s.logFilePath = logPath_;
  return s;
}

bool TFormFeatures::SaveNow() {
  if (config_.settingsPath.empty()) return false;
  return SaveSettings(config_.settingsPath, CurrentSettings());
}

bool TFormFeatures::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &form_ && event->type() == QEvent::Close) Guarded([this] { SaveNow(); });
  return false;
}

void TFormFeatures::LogLine(const SYSTEMTIME& utc, TColor, const std::string& text, std::size_t hexFrom,
                            std::size_t omitted) {
  if (!writer_) return;
  writer_->Write(FormatFileStamp(utc) + TLogView::CopyText(text, hexFrom, omitted).toStdString());
}

bool TFormFeatures::StartFileLog(const std::string& path) {
  StopFileLog();
  logPath_ = path;
  // Opened here once, so that a folder that cannot be written is told at once.
  QFile probe(QString::fromStdString(path));
  if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
    FileLogFailed(fileLogGeneration_, probe.errorString().toStdString() + ": " + path);
    return false;
  }
  probe.close();
  const unsigned generation = ++fileLogGeneration_;
  writer_ = std::make_unique<TLogFileWriter>(
      path,
      [this, generation](const std::string& reason) {
        // On the writer's thread: the window hears of it in its own loop.
        QMetaObject::invokeMethod(
            this, [this, generation, reason] { FileLogFailed(generation, reason); }, Qt::QueuedConnection);
      },
      config_.logLimits);
  return true;
}

void TFormFeatures::StopFileLog() {
  ++fileLogGeneration_;
  writer_.reset();
}

void TFormFeatures::FileLogFailed(unsigned generation, const std::string& reason) {
  if (generation != fileLogGeneration_) return;  // a writer already stopped
  StopFileLog();
  form_.AddLogLine(clRed, Tr("系统：无法写入日志文件，已停止记录到文件") + Tr("（") + reason + Tr("）"));
}

bool TFormFeatures::SaveLogAs(const std::string& path) {
  QSaveFile file(QString::fromStdString(path));
  bool ok = file.open(QIODevice::WriteOnly);
  for (std::size_t i = 0; ok && i < form_.VwRichEdit->LineCount(); ++i) {
    const QByteArray line = form_.VwRichEdit->LineCopyText(i).toUtf8() + '\n';
    ok = file.write(line) == line.size();
  }
  ok = ok && file.commit();
  if (!ok) {
    form_.AddLogLine(clRed, Tr("系统：日志另存失败") + Tr("（") + file.errorString().toStdString() + ": " +
                                path + Tr("）"));
  }
  return ok;
}

void TFormFeatures::SetPaused(bool paused) { form_.VwRichEdit->SetPaused(paused); }

void TFormFeatures::ShowFind() {
  if (!find_) find_ = new TFindDialog(&form_, form_.VwRichEdit);
  find_->show();
  find_->raise();
  find_->activateWindow();
  find_->Needle()->setFocus();
  find_->Needle()->selectAll();
}

TConsoleOptions TFormFeatures::Options() const { return {form_.Comm->InxXonXoffFlow(), language_}; }

void TFormFeatures::ApplyOptions(const TConsoleOptions& options) {
  // The component hands it to an open port at once.
  form_.Comm->SetInxXonXoffFlow(options.inputXonXoff);
  language_ = options.language;
  SaveNow();
}

void TFormFeatures::EditOptions() {
  TOptionsDialog dialog(&form_, Options());
  if (dialog.exec() == QDialog::Accepted) ApplyOptions(dialog.Chosen());
}

std::unique_ptr<QMenu> TFormFeatures::BuildMenu(QWidget* parent) {
  return BuildContextMenu(*this, form_, parent);
}
