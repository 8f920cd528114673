#pragma once

// The main window, Form1. Its components, by name, as the user sees them:
//   ToolBar1         the tool bar along the top, holding:
//     SpeedButton1   "Новый": clears the picture
//     SpeedButton2   "Картинка": opens the import dialog
//     SpeedButton3   "Массив": opens the array window
//     Panel2         the scale panel: Label1 "Масштаб" and ComboBox1, the scale list 1, 2, 4, 8
//     Panel3         the size panel: Label2 "Размер", Label4 "X", SpinEdit1 the width box,
//                    Label3 "Y", SpinEdit2 the height box, SpeedButton12 the apply-size button
//     SpeedButton4   the About button (icon only, hint "О программе")
//     SpeedButton6   the exit button (icon only, hint "Выход")
//     SpeedButton13  undo (icon only, hint "Отменить")
//     SpeedButton14  redo (icon only, hint "Вернуть")
//   CoolBar1         the tool strip down the left: SpeedButton5 the pencil, shown pressed;
//                    SpeedButton7 to SpeedButton11 hidden; ToolGroup groups the six
//   Panel1           the board's frame; inside it Image1, the board, which the pointer paints
//   Panel4           along its bottom: ScrollBar1, the horizontal scroll bar, and Panel5, the
//                    corner box
//   Panel6           along its right: ScrollBar2, the vertical scroll bar
//   StatusBar1       the status bar: the pointer readout ("X: 0  Y: 0") and an empty panel
#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>
#include <QString>

#include "board/painting.h"
#include "model/canvas.h"
#include "model/palette_canvas.h"
#include "model/geometry.h"
#include "model/history.h"
#include "model/output.h"
#include "model/pixel_store.h"

namespace picture {
class Picture;
}

class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QMimeData;
class QScrollBar;
class QStatusBar;
class QToolButton;
class TBoardImage;
class TPanel;
class TSpinEdit;

// The main window: the tool bar with the picture commands, the scale list and the size boxes;
// the scrollable board; the status bar with the pointer readout. It owns the picture (the pixel
// store), its geometry, the painting state and the board surface, the undo history of the
// picture and the name of the array file it was opened from or saved to.
//
// Every change to the picture is one step of the history once it is complete: a stroke at its
// release, "Новый", an applied import, a new size, an opened or pasted array.
class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and draws the first board (FormCreate).
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Reads the scale list and the size boxes (writing the taken size back into the boxes), takes
  // them as the geometry and redraws the whole board, the caption and the scroll ranges.
  void RedrawBoard();
  // Recomputes both scroll ranges from the current geometry and the bars' lengths.
  void UpdateScrollBars();
  // Enables the apply-size button exactly while the size boxes ask for another size.
  void UpdateSizeButton();
  // Applies a converted picture: exactly black pixels of the preview's top-left W x H area set
  // the picture's pixels, any other colour clears them (pixels outside that area are kept); then
  // RedrawBoard, which also applies a pending size but leaves the apply-size button as it was.
  void ApplyConverted(const model::Canvas& preview);

  // Event handlers.
  void FormCreate();
  void FormResize();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton6Click();
  void SpeedButton12Click();
  void ComboBox1Change();
  void SpinEdit1Change();
  void SpinEdit2Change();
  void ScrollBar1Change();
  void ScrollBar2Change();
  void Image1MouseDown(Qt::MouseButton button, int x, int y);
  void Image1MouseMove(int x, int y);
  void Image1MouseUp(Qt::MouseButton button, int x, int y);
  // "Отменить" (Ctrl+Z) and "Вернуть" (Ctrl+Y, Ctrl+Shift+Z): a step back or forward; a change of
  // size redraws the board at the step's size, anything else repaints the step's cells.
  void SpeedButton13Click();
  void SpeedButton14Click();
  // Ctrl+O: asks for a file and opens it (OpenFile).
  void ActionOpenExecute();
  // Ctrl+S: saves to the array file in use, or asks for one when there is none (Save).
  void ActionSaveExecute();
  // Ctrl+Shift+S: asks for a file and saves there.
  void ActionSaveAsExecute();
  // Ctrl+V: takes what the clipboard holds (TakeData).
  void ActionPasteExecute();

  // Opens a file: a picture (bmp, ico, wmf, emf) in the import dialog, loaded as its source; an
  // array file onto the board at its size, as one step, after which it is the file in use and
  // unmodified. Throws, with nothing changed, when the file cannot be read or holds no picture.
  void OpenFile(const QString& fileName);
  // Writes the picture to `fileName` as an array file in the layout and format chosen in the array
  // window (model::BuildFileText), whole or not at all; it is then the file in use, unmodified.
  // Throws, with the window as it was, when the file cannot be written.
  void SaveFile(const QString& fileName);
  // Saves to the file in use, or asks for a file when there is none. False when the user
  // cancelled the question.
  bool Save();
  bool SaveAs();
  // Takes dropped or pasted data: the first local file opens (OpenFile); else an image goes to the
  // import dialog as its source picture; else text holding an array goes onto the board.
  // Returns false when there is nothing of these.
  bool TakeData(const QMimeData& data);
  // Shows the import dialog with `source` as its source picture, for the current size.
  void ImportPicture(std::unique_ptr<picture::Picture> source);

  // Records what changed since the last step as one step (nothing when nothing did), then shows
  // the history's state: the undo and redo buttons and the caption's "*".
  void CommitStep();

  // Ask for the file to open, and for the file to save to (`suggested` is the name offered,
  // `filter` the file type line). Nothing when the user cancels. Tests put choosers of their own
  // here.
  std::function<std::optional<QString>()> ChooseOpenFile;
  std::function<std::optional<QString>(const QString& suggested, const QString& filter)>
      ChooseSaveFile;

  const model::PixelStore& Store() const { return m_store; }
  const model::BoardGeometry& Geometry() const { return m_geometry; }
  const model::PaletteCanvas& Surface() const { return m_surface; }
  const board::PaintState& Painting() const { return m_paint; }
  const model::History& History() const { return m_history; }
  // The array file in use: opened or last saved to; empty when none.
  const QString& FileName() const { return m_fileName; }
  // Whether the picture differs from the one last opened or saved (or the first one).
  bool Modified() const { return m_history.Modified(); }
  // The colour of the surface around the board: the platform's window background.
  model::Colour ButtonFace() const;
  // The text of a status bar panel (0: pointer readout, 1: empty).
  QString StatusText(int panel) const;

  // Components, named as the tests and the other windows find them.
  QFrame* ToolBar1;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2;
  QToolButton* SpeedButton3;
  TPanel* Panel2;
  QLabel* Label1;
  QComboBox* ComboBox1;
  TPanel* Panel3;
  QLabel* Label2;
  QLabel* Label4;
  TSpinEdit* SpinEdit1;
  QLabel* Label3;
  TSpinEdit* SpinEdit2;
  QToolButton* SpeedButton12;
  QToolButton* SpeedButton4;
  QToolButton* SpeedButton6;
  QToolButton* SpeedButton13;
  QToolButton* SpeedButton14;
  QAction* ActionUndo;
  QAction* ActionRedo;
  QAction* ActionOpen;
  QAction* ActionSave;
  QAction* ActionSaveAs;
  QAction* ActionPaste;
  TPanel* CoolBar1;
  QToolButton* SpeedButton5;
  QToolButton* SpeedButton7;
  QToolButton* SpeedButton8;
  QToolButton* SpeedButton9;
  QToolButton* SpeedButton10;
  QToolButton* SpeedButton11;
  QButtonGroup* ToolGroup;
  QFrame* Panel1;
  TBoardImage* Image1;
  TPanel* Panel6;
  QScrollBar* ScrollBar2;
  TPanel* Panel4;
  QScrollBar* ScrollBar1;
  TPanel* Panel5;
  QStatusBar* StatusBar1;

  // The window's outer size, and the client area that gives it with a 4-pixel border and a
  // 30-pixel caption.
  static constexpr int kOuterWidth = 783;
  static constexpr int kOuterHeight = 540;
  static constexpr int kClientWidth = kOuterWidth - 2 * 4;
  static constexpr int kClientHeight = kOuterHeight - 30 - 4;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // With unsaved changes, asks "Сохранить изменения?": save (closing only once saved), close
  // without saving, or stay.
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildToolBar();
  void BuildToolStrip(QWidget* parent);
  void BuildViewport(QWidget* parent);
  void BuildStatusBar();
  void BuildActions();
  void Connect();
  // The picture of an array onto the board at its size, as one step.
  void PutOnBoard(const model::ParsedPicture& parsed);
  // Shows a step just undone or redone, after which the picture has `size`.
  void ShowStep(const model::HistoryStep& step, model::PictureSize size);
  // The undo and redo buttons and the caption, for the history's state.
  void ShowHistoryState();
  void UpdateCaption();
  // The output choices of the array window, and what a text or file that states no size, layout
  // or inversion is read with: the current size and those choices.
  model::OutputOptions OutputChoice() const;
  model::ParseHints ReadingHints() const;
  // Places the tool strip, the viewport and its scroll bars for the current client size.
  void ArrangeClient();

  model::PixelStore m_store;
  model::BoardGeometry m_geometry;
  board::PaintState m_paint;
  model::PaletteCanvas m_surface;
  model::History m_history;
  QString m_fileName;
  QWidget* m_client;
  QWidget* m_viewport;
  QLabel* m_statusPanels[2];
  // The cell the pointer readout shows.
  board::Cell m_readoutCell;
};

// The main window, from start-up to the end of the program.
extern TForm1* Form1;
