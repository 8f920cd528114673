// Keeping the work in the main window: undo and redo, array files opened and saved, drop and
// paste, and the question at exit.
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "board/board.h"
#include "model/output.h"
#include "picture/image.h"
#include "picture/picture.h"
#include "tests/windows/support.h"
#include "windows/AddImage.h"
#include "windows/BoardImage.h"
#include "windows/Forms.h"
#include "windows/SpinEdit.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

namespace {

using windowstest::ApplySize;
using windowstest::Click;
using windowstest::ClickAt;
using windowstest::Move;
using windowstest::Press;
using windowstest::Release;
using windowstest::WithErrorBox;
using windowstest::WithModal;

// Every pixel's index on the surface, row after row.
std::vector<std::uint8_t> SurfaceIndices(const model::PaletteCanvas& surface) {
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < surface.Height(); ++y)
    indices.insert(indices.end(), surface.Row(y), surface.Row(y) + surface.Width());
  return indices;
}

// Everything a step may change, and what must stay when nothing does.
struct Snapshot {
  Snapshot() = default;
  explicit Snapshot(const TForm1& form)
      : store(form.Store()),
        geometry(form.Geometry()),
        surface(SurfaceIndices(form.Surface())),
        caption(form.windowTitle()),
        fileName(form.FileName()),
        undo(form.History().UndoCount()),
        redo(form.History().RedoCount()) {}

  model::PixelStore store;
  model::BoardGeometry geometry;
  // Indices of the one surface, whose palette only grows: equal indices are equal colours.
  std::vector<std::uint8_t> surface;
  QString caption;
  QString fileName;
  std::size_t undo = 0;
  std::size_t redo = 0;
};

// The picture (store, size, board, caption) as `want`, compared whole.
testing::AssertionResult ShowsPicture(const Snapshot& want) {
  const Snapshot now(*Form1);
  if (now.geometry != want.geometry) return testing::AssertionFailure() << "another geometry";
  if (now.store.Raw() != want.store.Raw()) return testing::AssertionFailure() << "another store";
  if (now.surface != want.surface) {
    std::size_t i = 0;
    while (now.surface[i] == want.surface[i]) ++i;
    return testing::AssertionFailure()
           << "the surface differs first at (" << i % board::kSurfaceWidth << ", "
           << i / board::kSurfaceWidth << ")";
  }
  if (now.caption != want.caption) {
    return testing::AssertionFailure() << "caption " << now.caption.toStdString();
  }
  return testing::AssertionSuccess();
}

// The picture and the history and file as `want`: nothing changed at all.
testing::AssertionResult Unchanged(const Snapshot& want) {
  if (testing::AssertionResult picture = ShowsPicture(want); !picture) return picture;
  const Snapshot now(*Form1);
  if (now.fileName != want.fileName) return testing::AssertionFailure() << "another file";
  if (now.undo != want.undo || now.redo != want.redo) {
    return testing::AssertionFailure() << "another history";
  }
  return testing::AssertionSuccess();
}

// A left (or other) button drag over the cells of scale 4, through the toolkit.
void Drag(const std::vector<QPoint>& cells, Qt::MouseButton button = Qt::LeftButton) {
  TBoardImage* image = Form1->Image1;
  const auto at = [](QPoint c) { return QPoint(c.x() * 4 + 2, c.y() * 4 + 2); };
  Press(image, at(cells.front()), button);
  for (const QPoint& c : cells) Move(image, at(c));
  Release(image, at(cells.back()), button);
}

// A key of the main window's own, once the window is active (its shortcuts work only then).
void Key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
  if (!Form1->isActiveWindow()) {
    Form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
  }
  QTest::keyClick(Form1, static_cast<Qt::Key>(key), modifiers);
}

// The import dialog is up: convert and apply.
void ConvertAndApply(QWidget* modal) {
  ASSERT_EQ(modal, Form_AddImage);
  Click(Form_AddImage->BitBtn2);
  Click(Form_AddImage->BitBtn3);
}

// An image of w x h: black where `dark` holds, white elsewhere.
QImage TwoColourImage(int w, int h, const std::function<bool(int, int)>& dark) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, dark(x, y) ? 0xFF000000 : 0xFFFFFFFF);
  return image;
}

bool Checker(int x, int y) {
  return (x / 3 + y / 2) % 2 == 0;
}

class Keep : public windowstest::FormsTest {
 protected:
  // A file of the test's own folder with `bytes`; its full name.
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = m_folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Makes Ctrl+O pick `path` and Ctrl+S (with no file in use) save to `path`.
  static void ChooseOpen(const QString& path) {
    Form1->ChooseOpenFile = [path]() -> std::optional<QString> { return path; };
  }
  void ChooseSave(std::optional<QString> path) {
    Form1->ChooseSaveFile = [this, path](const QString& suggested,
                                         const QString&) -> std::optional<QString> {
      m_suggested = suggested;
      return path;
    };
  }
  // Sets the array window's layout and format as the user picks them there.
  static void ChooseOutput(model::Layout layout, model::Format format) {
    for (std::size_t i = 0; i < model::kLayouts.size(); ++i) {
      if (model::kLayouts[i] != layout) continue;
      Form_ToMass->ComboBox1->setCurrentIndex(static_cast<int>(i));
      Form_ToMass->ComboBox1Change();
    }
    for (std::size_t i = 0; i < model::kFormats.size(); ++i) {
      if (model::kFormats[i] != format) continue;
      Form_ToMass->ComboBox2->setCurrentIndex(static_cast<int>(i));
      Form_ToMass->ComboBox2Change();
    }
    ASSERT_EQ(Form_ToMass->Options().layout, layout);
    ASSERT_EQ(Form_ToMass->Options().format, format);
  }

  QTemporaryDir m_folder;
  QString m_suggested;
};

TEST_F(Keep, TheUndoAndRedoButtonsFollowTheExitButton) {
  const struct {
    QToolButton* button;
    const char* hint;
    int x;
  } buttons[] = {{Form1->SpeedButton13, "Отменить", 615}, {Form1->SpeedButton14, "Вернуть", 638}};
  for (const auto& b : buttons) {
    EXPECT_EQ(b.button->toolTip(), b.hint);
    EXPECT_EQ(b.button->accessibleName(), b.hint);
    EXPECT_EQ(b.button->geometry(), QRect(b.x, 4, 23, 22));
    EXPECT_FALSE(b.button->isEnabled()) << "nothing to undo or redo at start";
    EXPECT_FALSE(b.button->icon().isNull());
  }
  EXPECT_GE(Form1->SpeedButton13->x(), Form1->SpeedButton6->geometry().right() + 1);
}

TEST_F(Keep, UndoAndRedoReturnEachEarlierPictureOfAMixedSequence) {
  std::vector<Snapshot> states{Snapshot(*Form1)};
  const auto step = [&](const std::function<void()>& edit) {
    edit();
    states.emplace_back(*Form1);
    ASSERT_EQ(Form1->History().UndoCount(), states.size() - 1);
  };
  step([] { Drag({{1, 1}, {2, 1}, {9, 4}}); });             // a stroke
  step([] { Drag({{0, 0}, {30, 20}, {83, 47}}); });         // a long one
  step([] { ApplySize(40, 16); });                          // smaller: hides
  step([] { Drag({{39, 15}, {0, 0}}, Qt::RightButton); });  // clears
  step([] { ApplySize(100, 56); });                         // larger: shows again
  step([] {                                                 // an applied import
    WithModal(
        [] { Form1->ImportPicture(picture::PictureFromImage(TwoColourImage(50, 20, Checker))); },
        ConvertAndApply);
  });
  step([] { Click(Form1->SpeedButton1); });  // "Новый"
  step([] { Drag({{5, 5}, {6, 6}}); });

  for (std::size_t i = states.size() - 1; i > 0; --i) {
    ASSERT_TRUE(Form1->SpeedButton13->isEnabled());
    Click(Form1->SpeedButton13);
    ASSERT_TRUE(ShowsPicture(states[i - 1])) << "undone to " << i - 1;
    EXPECT_EQ(Form1->SpinEdit1->Value(), states[i - 1].geometry.width);
    EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  }
  EXPECT_FALSE(Form1->SpeedButton13->isEnabled());
  EXPECT_TRUE(Form1->SpeedButton14->isEnabled());
  // Forward again by both redo keys, then back and forth by the keys.
  for (std::size_t i = 1; i < states.size(); ++i) {
    if (i % 2 == 0) {
      Key(Qt::Key_Y);
    } else {
      Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    }
    ASSERT_TRUE(ShowsPicture(states[i])) << "redone to " << i;
  }
  EXPECT_FALSE(Form1->SpeedButton14->isEnabled());
  Key(Qt::Key_Z);
  Key(Qt::Key_Z);
  EXPECT_TRUE(ShowsPicture(states[states.size() - 3]));
  Key(Qt::Key_Y);
  EXPECT_TRUE(ShowsPicture(states[states.size() - 2]));
}

TEST_F(Keep, ANewEditAfterAnUndoClearsRedo) {
  Drag({{1, 1}});
  Drag({{2, 2}});
  Click(Form1->SpeedButton13);
  ASSERT_TRUE(Form1->SpeedButton14->isEnabled());
  Drag({{3, 3}});
  EXPECT_FALSE(Form1->SpeedButton14->isEnabled());
  const Snapshot before(*Form1);
  Key(Qt::Key_Y);
  Click(Form1->SpeedButton14);  // disabled: no click arrives
  EXPECT_TRUE(Unchanged(before));
  EXPECT_EQ(Form1->Store().Get(2, 2), 0);
  // Clicking a set pixel again changes nothing and is no step.
  Drag({{3, 3}});
  EXPECT_TRUE(Unchanged(before));
}

TEST_F(Keep, KeepsAHundredSteps) {
  for (int i = 0; i < 105; ++i) Drag({{i % 84, i / 84}});
  int undone = 0;
  while (Form1->SpeedButton13->isEnabled()) {
    Click(Form1->SpeedButton13);
    ++undone;
  }
  EXPECT_EQ(undone, 100);
  for (int i = 0; i < 105; ++i) EXPECT_EQ(Form1->Store().Get(i % 84, i / 84), i < 5 ? 1 : 0) << i;
}

TEST_F(Keep, UndoAStrokeStillHeldDown) {
  TBoardImage* image = Form1->Image1;
  Press(image, {6, 6});
  Move(image, {30, 6});
  Key(Qt::Key_Z);
  EXPECT_EQ(Form1->Store().Get(1, 1), 0);
  EXPECT_EQ(Form1->Store().Get(7, 1), 0);
  EXPECT_TRUE(Form1->SpeedButton14->isEnabled());
  Release(image, {30, 6});
}

TEST_F(Keep, OpenSaveOpenGivesTheSamePictureInEveryLayoutAndFormat) {
  std::mt19937 random(11);
  for (const model::Layout layout : model::kLayouts) {
    for (const model::Format format : model::kFormats) {
      SCOPED_TRACE(std::string(model::LayoutName(layout)) + " " +
                   std::string(model::FormatName(format)));
      // A hidden pixel below the picture's size, which an opened file clears.
      Click(Form1->SpeedButton1);
      ApplySize(100, 48);
      Drag({{5, 40}});
      ApplySize(100, 32);  // not a whole number of bytes a row
      for (int i = 0; i < 40; ++i) {
        const auto cell = [&] {
          return QPoint(static_cast<int>(random() % 100), static_cast<int>(random() % 32));
        };
        Drag({cell(), cell()}, i % 4 == 0 ? Qt::RightButton : Qt::LeftButton);
      }
      ChooseOutput(layout, format);
      const QString path = m_folder.filePath(
          QString("picture.%1").arg(QString::fromUtf8(model::FormatName(format).data())));
      ChooseSave(path);
      // "Save as": from the second round on a file is in use, which Ctrl+S would write to.
      Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
      ASSERT_EQ(Form1->FileName().toStdString(), path.toStdString());
      const QString name = QFileInfo(path).fileName();
      EXPECT_EQ(Form1->windowTitle(), "Dotwright 100x32 — " + name);
      Snapshot saved(*Form1);
      ASSERT_EQ(saved.store.Get(5, 40), 1);
      for (int x = 0; x < 320; ++x)
        for (int y = 0; y < 240; ++y)
          if (x >= 100 || y >= 32) saved.store.Set(x, y, 0);

      // Another picture at another size (the binary file states no size: it keeps this one).
      Click(Form1->SpeedButton1);
      if (format != model::Format::Bin) ApplySize(40, 16);
      ChooseOpen(path);
      Key(Qt::Key_O);
      EXPECT_EQ(Form1->Geometry(), saved.geometry);
      EXPECT_TRUE(Form1->Store().Raw() == saved.store.Raw());
      EXPECT_EQ(Form1->windowTitle(), "Dotwright 100x32 — " + name);
      EXPECT_FALSE(Form1->Modified());
      // The opening is a step: undone, the other picture is back.
      Click(Form1->SpeedButton13);
      EXPECT_EQ(Form1->Geometry().width, format != model::Format::Bin ? 40 : 100);
      EXPECT_EQ(
          Form1->windowTitle(),
          QString("Dotwright %1x%2 — ").arg(Form1->Geometry().width).arg(Form1->Geometry().height) +
              name + "*");
      Click(Form1->SpeedButton14);
      EXPECT_EQ(Form1->windowTitle(), "Dotwright 100x32 — " + name);
    }
  }
}

TEST_F(Keep, SavingWritesTheFileTextAndMarksThePictureSaved) {
  Drag({{0, 0}, {3, 0}});
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48") << "no file: the plain caption";
  const QString path = m_folder.filePath("logo.h");
  Write("logo.h", "old text that is longer than nothing");
  ChooseSave(path);
  Key(Qt::Key_S);
  EXPECT_EQ(m_suggested, "lcd_image_mas.h");
  EXPECT_EQ(Read(path).toStdString(), model::BuildFileText(Form1->Store(), 84, 48, {}));
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48 — logo.h");
  // The temporary file is gone: the folder holds the file alone.
  EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files), QStringList{"logo.h"});

  Drag({{5, 5}});
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48 — logo.h*");
  // With a file in use Ctrl+S writes there without asking.
  ChooseSave(std::nullopt);
  m_suggested.clear();
  Key(Qt::Key_S);
  EXPECT_TRUE(m_suggested.isEmpty());
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48 — logo.h");
  EXPECT_EQ(Read(path).toStdString(), model::BuildFileText(Form1->Store(), 84, 48, {}));
  // Undone to before the save: changed again; redone: saved again.
  Click(Form1->SpeedButton13);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48 — logo.h*");
  Click(Form1->SpeedButton14);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48 — logo.h");
}

TEST_F(Keep, AFailedSaveShowsTheErrorAndChangesNothing) {
  Drag({{2, 2}});
  const Snapshot before(*Form1);
  ChooseSave(m_folder.filePath("no such folder/logo.h"));
  const windowstest::ErrorBoxSeen box = WithErrorBox([] { Key(Qt::Key_S); });
  EXPECT_TRUE(box.shown);
  EXPECT_TRUE(box.text.contains("no such folder/logo.h")) << box.text.toStdString();
  EXPECT_TRUE(Unchanged(before));
  EXPECT_TRUE(Form1->Modified());
}

TEST_F(Keep, AFileThatFailsToOpenChangesNothing) {
  const auto bytes = [](std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list) b.append(static_cast<char>(v));
    return b;
  };
  QString items;
  for (int i = 0; i < 3000; ++i) items += "0x00,";
  items.chop(1);
  const struct {
    const char* name;
    QByteArray content;
    const char* message;  // a part of the error box's text
  } cases[] = {
      {"missing.h", {}, "Cannot open file"},
      {"prose.h", "no array here", "нет массива"},
      {"three.h", "{ 1, 2, 3 }", "байтов в массиве: 3"},
      {"wide.h", "/* 500x48 page-lsb */\n{" + items.toUtf8() + "}", "500x48"},
      {"letters.h", "/* 8x8 page-lsb */\n{ 1, 2, 3, 4, 5, 6, 7, zz }", "zz"},
      {"empty.bin", {}, "массив пуст"},
      {"odd.bin", bytes({1, 2, 3}), "3"},
      {"broken.bmp", "BM not a bitmap", "Stream read error"},
  };
  Drag({{1, 1}, {4, 4}});
  const Snapshot before(*Form1);
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    const QString path = m_folder.filePath(tc.name);
    if (QString(tc.name) != "missing.h") Write(tc.name, tc.content);
    ChooseOpen(path);
    const windowstest::ErrorBoxSeen box = WithErrorBox([] { Key(Qt::Key_O); });
    EXPECT_TRUE(box.shown);
    EXPECT_TRUE(box.text.contains(QString::fromUtf8(tc.message))) << box.text.toStdString();
    EXPECT_TRUE(Unchanged(before));
    EXPECT_FALSE(Form_AddImage->isVisible());
  }
}

TEST_F(Keep, AnArrayOfOtherToolsOpensAtItsStatedSize) {
  // A plain C array with #define lines, and an X bitmap.
  const QString c = Write("plain.c",
                          "#define LOGO_WIDTH 8\n#define LOGO_HEIGHT 16\n"
                          "const unsigned char logo[] = {1,0,0,0,0,0,0,0, 0,0,0,0,0,0,0,0x80};\n");
  ChooseOpen(c);
  Key(Qt::Key_O);
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 8, 16}));
  EXPECT_EQ(Form1->Store().Get(0, 0), 1);
  EXPECT_EQ(Form1->Store().Get(7, 15), 1);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 8x16 — plain.c");

  const QString xbm = Write("mark.xbm",
                            "#define mark_width 4\n#define mark_height 8\n"
                            "static unsigned char mark_bits[] = {\n"
                            "0x01,0x02,0x04,0x08,0x00,0x00,0x00,0x0f};\n");
  ChooseOpen(xbm);
  Key(Qt::Key_O);
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 4, 8}));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Form1->Store().Get(i, i), 1) << i;
    EXPECT_EQ(Form1->Store().Get(i, 7), 1) << i;
  }
  EXPECT_EQ(Form1->Store().Get(1, 0), 0);
}

TEST_F(Keep, OpeningAPictureShowsItInTheImportDialog) {
  const QString path = m_folder.filePath("checker.bmp");
  ASSERT_TRUE(TwoColourImage(84, 48, Checker).save(path, "BMP"));
  ChooseOpen(path);
  const Snapshot before(*Form1);
  WithModal([] { Key(Qt::Key_O); },
            [&](QWidget* modal) {
              ASSERT_EQ(modal, Form_AddImage);
              ASSERT_NE(Form_AddImage->SourcePicture(), nullptr);
              EXPECT_EQ(Form_AddImage->SourcePicture()->Width(), 84);
              EXPECT_TRUE(Unchanged(before)) << "nothing before applying";
              ConvertAndApply(modal);
            });
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 84; ++x) ASSERT_EQ(Form1->Store().Get(x, y), Checker(x, y) ? 1 : 0);
  EXPECT_TRUE(Form1->FileName().isEmpty()) << "a picture is not the file in use";
  Click(Form1->SpeedButton13);
  EXPECT_TRUE(ShowsPicture(before));
}

// Runs `close` (closing the main window), expecting the question; answers it with `answer`.
// Returns whether the question came up.
bool AnswerExitQuestion(const std::function<void()>& close, QMessageBox::StandardButton answer) {
  bool asked = false;
  WithModal(close, [&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    asked = true;
    EXPECT_EQ(box->text(), "Сохранить изменения?");
    EXPECT_EQ(box->buttons().size(), 3);
    EXPECT_EQ(box->button(QMessageBox::Save)->text(), "Сохранить");
    EXPECT_EQ(box->button(QMessageBox::Discard)->text(), "Не сохранять");
    EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), "Отмена");
    Click(box->button(answer));
  });
  return asked;
}

TEST_F(Keep, ClosingWithoutChangesAsksNothing) {
  // Untouched; then changed and undone back; then "Новый" of an empty picture (no step).
  const std::function<void()> prepare[] = {
      [] {},
      [] {
        Drag({{1, 1}});
        Key(Qt::Key_Z);
      },
      [] { Click(Form1->SpeedButton1); },
  };
  for (const auto& before : prepare) {
    before();
    ASSERT_FALSE(Form1->Modified());
    Click(Form1->SpeedButton6);
    EXPECT_TRUE(QTest::qWaitFor([] { return !Form1->isVisible(); }, 5000));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    Form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
  }
}

TEST_F(Keep, ClosingWithChangesAsksAndCancelKeepsTheWindow) {
  Drag({{1, 1}});
  const Snapshot before(*Form1);
  EXPECT_TRUE(AnswerExitQuestion([] { Click(Form1->SpeedButton6); }, QMessageBox::Cancel));
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_TRUE(Unchanged(before));
  // The close box asks too; a save cancelled in its file dialog keeps the window.
  ChooseSave(std::nullopt);
  EXPECT_TRUE(AnswerExitQuestion([] { Form1->close(); }, QMessageBox::Save));
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_EQ(m_suggested, "lcd_image_mas.h");
  // Discard closes.
  EXPECT_TRUE(AnswerExitQuestion([] { Form1->close(); }, QMessageBox::Discard));
  EXPECT_FALSE(Form1->isVisible());
}

TEST_F(Keep, SavingAtExitWritesTheFileThenCloses) {
  Drag({{1, 1}, {5, 1}});
  const QString path = m_folder.filePath("at exit.h");
  ChooseSave(path);
  EXPECT_TRUE(AnswerExitQuestion([] { Form1->close(); }, QMessageBox::Save));
  EXPECT_FALSE(Form1->isVisible());
  EXPECT_EQ(Read(path).toStdString(), model::BuildFileText(Form1->Store(), 84, 48, {}));
}

TEST_F(Keep, SavedPicturesCloseAtOnce) {
  Drag({{1, 1}});
  ChooseSave(m_folder.filePath("saved.h"));
  Key(Qt::Key_S);
  Form1->close();
  EXPECT_FALSE(Form1->isVisible());
}

// Sends a drag of `data` onto the board and drops it there, as the platform delivers them.
void DropOnBoard(QMimeData* data) {
  const QPoint at(20, 20);
  QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form1, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form1, &drop);
  EXPECT_TRUE(drop.isAccepted());
}

TEST_F(Keep, DroppingAFileOpensIt) {
  model::PixelStore store;
  store.Set(3, 2, 1);
  const QString path =
      Write("dropped.h", QByteArray::fromStdString(model::BuildFileText(store, 16, 8, {})));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  DropOnBoard(&data);
  EXPECT_EQ(Form1->Geometry().width, 16);
  EXPECT_EQ(Form1->Store().Get(3, 2), 1);
  EXPECT_EQ(Form1->FileName(), path);

  // Text alone is refused: a drop is for files.
  QMimeData text;
  text.setText("{1,2,3,4}");
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form1, &enter);
  EXPECT_FALSE(enter.isAccepted());

  // A dropped picture goes to the import dialog.
  const QString picture = m_folder.filePath("dropped.bmp");
  ASSERT_TRUE(TwoColourImage(16, 8, Checker).save(picture, "BMP"));
  QMimeData bmp;
  bmp.setUrls({QUrl::fromLocalFile(picture)});
  WithModal([&] { DropOnBoard(&bmp); },
            [](QWidget* modal) {
              ASSERT_EQ(modal, Form_AddImage);
              ASSERT_NE(Form_AddImage->SourcePicture(), nullptr);
              EXPECT_EQ(Form_AddImage->SourcePicture()->Height(), 8);
            });
}

TEST_F(Keep, PastingAnImageOpensTheImportDialogWithIt) {
  ApplySize(40, 16);
  auto* data = new QMimeData;
  data->setImageData(TwoColourImage(40, 16, Checker));
  QGuiApplication::clipboard()->setMimeData(data);
  WithModal([] { Key(Qt::Key_V); },
            [](QWidget* modal) {
              ASSERT_EQ(modal, Form_AddImage);
              ASSERT_NE(Form_AddImage->SourcePicture(), nullptr);
              EXPECT_EQ(Form_AddImage->SourcePicture()->Width(), 40);
              EXPECT_EQ(Form_AddImage->SourcePicture()->Height(), 16);
              ConvertAndApply(modal);
            });
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(Form1->Store().Get(x, y), Checker(x, y) ? 1 : 0);
}

TEST_F(Keep, PastingArrayTextPutsItOnTheBoard) {
  model::PixelStore store;
  for (int i = 0; i < 16; ++i) store.Set(i, i, 1);
  // The array window's text, which states no size: the current width is kept and the height
  // follows from the count.
  const std::string text = model::BuildOutputText(store, 84, 16, {});
  auto* data = new QMimeData;
  data->setText(QString::fromStdString(text));
  QGuiApplication::clipboard()->setMimeData(data);
  Key(Qt::Key_V);
  EXPECT_EQ(Form1->Geometry().width, 84);
  EXPECT_EQ(Form1->Geometry().height, 16);
  EXPECT_TRUE(Form1->Store().Raw() == store.Raw());
  EXPECT_TRUE(Form1->FileName().isEmpty());
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x16");
  Click(Form1->SpeedButton13);
  EXPECT_EQ(Form1->Geometry().height, 48);

  // Text that holds no array: the error box, and nothing changed.
  auto* prose = new QMimeData;
  prose->setText("hello");
  QGuiApplication::clipboard()->setMimeData(prose);
  const Snapshot before(*Form1);
  EXPECT_TRUE(WithErrorBox([] { Key(Qt::Key_V); }).shown);
  EXPECT_TRUE(Unchanged(before));
}

// Delivers the calls queued for the event loop, as its first round does.
void RunQueuedCalls() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

TEST_F(Keep, AFileGivenAtStartOpensOnceTheEventLoopRuns) {
  model::PixelStore store;
  store.Set(7, 9, 1);
  const QString array =
      Write("start.h", QByteArray::fromStdString(model::BuildFileText(store, 12, 16, {})));
  OpenFileAtStart(array);
  EXPECT_TRUE(Form1->FileName().isEmpty()) << "not before the event loop runs";
  RunQueuedCalls();
  EXPECT_EQ(Form1->FileName(), array);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 12x16 — start.h");
  EXPECT_EQ(Form1->Store().Get(7, 9), 1);

  const QString picture = m_folder.filePath("start.bmp");
  ASSERT_TRUE(TwoColourImage(8, 8, Checker).save(picture, "BMP"));
  WithModal(
      [&] {
        OpenFileAtStart(picture);
        RunQueuedCalls();
      },
      [](QWidget* modal) {
        ASSERT_EQ(modal, Form_AddImage);
        ASSERT_NE(Form_AddImage->SourcePicture(), nullptr);
        EXPECT_EQ(Form_AddImage->SourcePicture()->Width(), 8);
      });

  const Snapshot before(*Form1);
  const windowstest::ErrorBoxSeen box = WithErrorBox([&] {
    OpenFileAtStart(m_folder.filePath("missing.h"));
    RunQueuedCalls();
  });
  EXPECT_TRUE(box.shown);
  EXPECT_TRUE(Unchanged(before));
}

TEST_F(Keep, AFocusedSizeBoxPassesUndoRedoAndPicturePastesToThePicture) {
  QTest::mouseClick(Form1->SpinEdit1, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), Form1->SpinEdit1);
  QTest::keyClicks(Form1->SpinEdit1, "0");  // "840": a pending width
  Drag({{1, 1}, {4, 1}});
  ASSERT_EQ(QApplication::focusWidget(), Form1->SpinEdit1) << "the board takes no focus";
  QTest::keyClick(Form1->SpinEdit1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Form1->Store().Get(2, 1), 0) << "the stroke is undone";
  EXPECT_EQ(Form1->SpinEdit1->text(), "840") << "the box's text is not";
  QTest::keyClick(Form1->SpinEdit1, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Form1->Store().Get(2, 1), 1);

  // Text on the clipboard pastes into the box as before; an image goes to the picture.
  auto* text = new QMimeData;
  text->setText("12");
  QGuiApplication::clipboard()->setMimeData(text);
  Form1->SpinEdit1->selectAll();
  QTest::keyClick(Form1->SpinEdit1, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Form1->SpinEdit1->text(), "12");
  auto* image = new QMimeData;
  image->setImageData(TwoColourImage(8, 8, Checker));
  QGuiApplication::clipboard()->setMimeData(image);
  WithModal([] { QTest::keyClick(Form1->SpinEdit1, Qt::Key_V, Qt::ControlModifier); },
            [](QWidget* modal) { EXPECT_EQ(modal, Form_AddImage); });
  EXPECT_EQ(Form1->SpinEdit1->text(), "12");
}

}  // namespace
