// The main window's keeping of the work: the undo history, array files opened and saved, dropped
// and pasted data, and the question at exit.
#include <exception>
#include <utility>

#include <QAbstractButton>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include "board/board.h"
#include "board/painting.h"
#include "picture/image.h"
#include "picture/picture.h"
#include "windows/AddImage.h"
#include "windows/Application.h"
#include "windows/ArrayFile.h"
#include "windows/BoardImage.h"
#include "windows/Forms.h"
#include "windows/SpinEdit.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

namespace {

// The first local file among the data's addresses; empty when there is none.
QString FirstLocalFile(const QMimeData& data) {
  if (!data.hasUrls()) return {};
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
}

}  // namespace

void TForm1::CommitStep() {
  m_history.Commit(m_store, {m_geometry.width, m_geometry.height});
  ShowHistoryState();
}

void TForm1::ShowHistoryState() {
  SpeedButton13->setEnabled(m_history.CanUndo());
  SpeedButton14->setEnabled(m_history.CanRedo());
  UpdateCaption();
}

void TForm1::UpdateCaption() {
  const std::string name = QFileInfo(m_fileName).fileName().toStdString();
  setWindowTitle(QString::fromStdString(board::CaptionText(m_geometry, name, Modified())));
}

void TForm1::SpeedButton13Click() {
  // A stroke still held down is a step of its own, undone first.
  CommitStep();
  if (const model::HistoryStep* step = m_history.Undo(m_store)) ShowStep(*step, step->Before());
}

void TForm1::SpeedButton14Click() {
  CommitStep();
  if (const model::HistoryStep* step = m_history.Redo(m_store)) ShowStep(*step, step->After());
}

void TForm1::ShowStep(const model::HistoryStep& step, model::PictureSize size) {
  if (size.width != m_geometry.width || size.height != m_geometry.height) {
    SpinEdit1->SetValue(size.width);
    SpinEdit2->SetValue(size.height);
    RedrawBoard();
    SpeedButton12->setEnabled(false);
  } else {
    board::RepaintStep(m_surface, m_store, m_geometry, step);
    Image1->RepaintDirty();
  }
  ShowHistoryState();
}

model::OutputOptions TForm1::OutputChoice() const {
  // Before the array window is first made, its choices are the defaults it starts with.
  return Form_ToMass != nullptr ? Form_ToMass->Options() : model::OutputOptions{};
}

model::ParseHints TForm1::ReadingHints() const {
  const model::OutputOptions options = OutputChoice();
  return {m_geometry.width, m_geometry.height, options.layout, options.invert};
}

void TForm1::OpenFile(const QString& fileName) {
  if (IsPictureFile(fileName)) {
    // Throws with the dialog's picture as it was.
    CreateDialogs();
    Form_AddImage->LoadSourcePicture(fileName);
    SpeedButton2Click();
    return;
  }
  PutOnBoard(ReadArrayFile(fileName, ReadingHints()));
  m_fileName = QFileInfo(fileName).absoluteFilePath();
  m_history.MarkSaved();
  UpdateCaption();
}

void TForm1::PutOnBoard(const model::ParsedPicture& parsed) {
  // Unpacked aside first: the store changes only once the whole picture is there. Pixels outside
  // the new size are cleared, so that a larger size later shows nothing of the old picture.
  auto store = std::make_unique<model::PixelStore>();
  model::UnpackBytes(parsed.bytes, parsed.width, parsed.height, parsed.layout, parsed.invert,
                     *store);
  CommitStep();
  m_store = *store;
  SpinEdit1->SetValue(parsed.width);
  SpinEdit2->SetValue(parsed.height);
  RedrawBoard();
  SpeedButton12->setEnabled(false);
  CommitStep();
}

void TForm1::ImportPicture(std::unique_ptr<picture::Picture> source) {
  CreateDialogs();
  Form_AddImage->SetSourcePicture(std::move(source));
  SpeedButton2Click();
}

void TForm1::SaveFile(const QString& fileName) {
  CommitStep();
  SaveFileAtomically(
      fileName, model::BuildFileText(m_store, m_geometry.width, m_geometry.height, OutputChoice()));
  m_fileName = QFileInfo(fileName).absoluteFilePath();
  m_history.MarkSaved();
  UpdateCaption();
}

bool TForm1::Save() {
  if (m_fileName.isEmpty()) return SaveAs();
  SaveFile(m_fileName);
  return true;
}

bool TForm1::SaveAs() {
  SaveOffer offer = SaveOfferFor(OutputChoice());
  if (!m_fileName.isEmpty()) offer.suggested = m_fileName;
  const std::optional<QString> path = ChooseSaveFile(offer.suggested, offer.filter);
  if (!path) return false;
  SaveFile(*path);
  return true;
}

void TForm1::ActionOpenExecute() {
  if (const std::optional<QString> path = ChooseOpenFile()) OpenFile(*path);
}

void TForm1::ActionSaveExecute() {
  Save();
}

void TForm1::ActionSaveAsExecute() {
  SaveAs();
}

void TForm1::ActionPasteExecute() {
  if (const QMimeData* data = QGuiApplication::clipboard()->mimeData()) TakeData(*data);
}

bool TForm1::TakeData(const QMimeData& data) {
  if (const QString file = FirstLocalFile(data); !file.isEmpty()) {
    OpenFile(file);
  } else if (data.hasImage()) {
    ImportPicture(picture::PictureFromImage(qvariant_cast<QImage>(data.imageData())));
  } else if (data.hasText()) {
    PutOnBoard(model::ParseOutputText(data.text().toStdString(), ReadingHints()));
  } else {
    return false;
  }
  return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!FirstLocalFile(*event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString file = FirstLocalFile(*event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  RunHandler([this, &file] { OpenFile(file); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  CommitStep();
  if (!Modified()) {
    event->accept();
    return;
  }
  QMessageBox box(QMessageBox::Warning, TApplication::Title(), "Сохранить изменения?",
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName("SaveChangesBox");
  box.button(QMessageBox::Save)->setText("Сохранить");
  box.button(QMessageBox::Discard)->setText("Не сохранять");
  box.button(QMessageBox::Cancel)->setText("Отмена");
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  bool close = false;
  switch (box.exec()) {
    case QMessageBox::Save:
      try {
        close = Save();
      } catch (const std::exception& error) {
        // Not saved: the window stays, with the reason in the error box.
        TApplication::ShowException(QString::fromUtf8(error.what()));
      }
      break;
    case QMessageBox::Discard:
      close = true;
      break;
    default:
      break;
  }
  event->setAccepted(close);
}
