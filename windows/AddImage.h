#pragma once

// The import dialog, Form_AddImage ("Добавление картинки"). Its components, by name, as the user
// sees them:
//   Panel1, Image1   the left frame and the loaded picture in it, stretched to the picture size
//   Panel2, Image3   the right frame and the two-colour preview in it
//   Image_buffer     never seen: the scratch raster the conversion scales into
//   BitBtn1          "Открыть": opens a picture file (OpenDialog1 is the file-open dialog)
//   BitBtn2          "Преобразовать": converts the picture into the preview
//   Label4           "Граница чёрного и белого", over TrackBar1, the threshold slider
//   Label3           "0000000", hidden under the slider
//   CheckBox1        "Инвертировать цвета"
//   ComboBox1        under it, the way to black and white: "Порог" or a dithering
//   Button10         "норма": the slider back to its first position
//   BitBtn3          "Применить", the default button: applies the preview and closes
//   BitBtn4          "Отмена": closes without applying

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDateTime>
#include <QDialog>
#include <QRect>
#include <QString>

#include "model/canvas.h"
#include "model/dither.h"
#include "picture/picture.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class TPanel;
class TPictureImage;
class TRasterImage;

// The file-open dialog of the import dialog. Its filter offers the given entries ("description
// (*.ext ...)"), the first chosen at the start; a name typed into it need not exist. Each use
// builds the toolkit's dialog afresh (nothing of it, such as a completion list left up, outlives
// the use) and opens it in the folder of the last use.
class TOpenDialog : public QObject {
  Q_OBJECT

 public:
  TOpenDialog(const QStringList& filters, QWidget* owner);

  // Shows the dialog modally over the owner: the chosen file's full name, or nothing when the user
  // cancels.
  std::optional<QString> Execute();

 private:
  QWidget* m_owner;
  QStringList m_filters;
  // The folder the dialog showed when last closed; empty before the first use (the current one).
  QString m_folder;
};

// The picture import dialog: opens a picture file, shows it stretched to the picture size,
// converts it to two colours with the slider's threshold and the invert box, and applies the
// result to the main window's picture. Created once and hidden between uses, it keeps the loaded
// picture, its two rasters, the slider and the check box from one opening to the next.
class TForm_AddImage : public QDialog {
  Q_OBJECT

 public:
  // The views' frames and the rasters: the largest picture.
  static constexpr int kViewWidth = 320;
  static constexpr int kViewHeight = 240;

  // A view's place for a width x height picture: centred in its frame.
  static constexpr QRect ViewPlace(int width, int height) {
    return {(kViewWidth - width) / 2, (kViewHeight - height) / 2, width, height};
  }

  explicit TForm_AddImage(QWidget* parent = nullptr);

  // Keeps the picture's width, height and scale for the next conversions, and centres both views
  // at that size in their frames.
  void SetGeometry(std::uint16_t width, std::uint16_t height, std::uint8_t scale);

  std::uint16_t GeometryWidth() const { return m_width; }
  std::uint16_t GeometryHeight() const { return m_height; }
  std::uint8_t GeometryScale() const { return m_scale; }

  // The loaded picture (null until a file has loaded), the scratch raster the conversion scales
  // into, and the preview raster it thresholds into (shown by Image3).
  const picture::Picture* SourcePicture() const { return m_picture.get(); }
  const model::Canvas& Scratch() const { return m_scratch; }
  const model::Canvas& Preview() const { return m_preview; }

  // Makes `source` the source picture, as a file loaded by "Открыть" is (a picture pasted into
  // the program comes this way).
  void SetSourcePicture(std::unique_ptr<picture::Picture> source);

  // Loads `fileName` as the source picture ("Открыть" and a picture file opened in the main
  // window). A file that fails to load throws the loader's error, with the source picture and the
  // view as they were. A picture taking more than kKeptPictureBytes, read from a file that is
  // still as it was then, is let go before the load, so that two large pictures are never held
  // at once; should the load fail, it is read again from its file. Smaller ones, and pictures
  // handed over by SetSourcePicture, are kept through the load.
  void LoadSourcePicture(const QString& fileName);

  // A picture's memory as counted against kKeptPictureBytes: 4 bytes a pixel of its size, or its
  // file's size when larger (a metafile holds its file).
  static constexpr std::uint64_t kKeptPictureBytes = std::uint64_t{32} << 20;

  // Reads a picture file for LoadSourcePicture: picture::LoadPicture unless replaced (tests
  // watch the loads here).
  std::function<std::unique_ptr<picture::Picture>(const std::string&)> LoadFile;

  // Asks the user for the file to open: its name, or nothing when the user cancels. Runs
  // OpenDialog1 unless replaced (tests put a chooser of their own here).
  std::function<std::optional<QString>()> ChooseFile;

  // Event handlers.
  // "Открыть": loads the chosen file as the source picture. A file that fails to load throws the
  // loader's error out of the handler, and the picture, the views and the rasters stay as they
  // were.
  void BitBtn1Click();
  // "Преобразовать": scales the source picture into the scratch raster and thresholds it into the
  // preview.
  void BitBtn2Click();
  // "Применить": hands the preview on through Apply, then closes (accepted).
  void BitBtn3Click();
  // "Отмена": closes (rejected) without touching the picture.
  void BitBtn4Click();
  // "норма": the slider back to its first position.
  void Button10Click();

  // The way to black and white that ComboBox1 names; items in the order of model::kDithers.
  model::Dither Dither() const;

  // Components, named as the tests find them.
  TPanel* Panel1;
  TPictureImage* Image1;
  TPanel* Panel2;
  TRasterImage* Image3;
  TRasterImage* Image_buffer;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QLabel* Label4;
  QLabel* Label3;
  QSlider* TrackBar1;
  QCheckBox* CheckBox1;
  QPushButton* Button10;
  QComboBox* ComboBox1;
  QPushButton* BitBtn3;
  QPushButton* BitBtn4;
  TOpenDialog* OpenDialog1;

 signals:
  // "Применить" was pressed: the preview raster, whose top-left W x H area is the result.
  void Apply(const model::Canvas& preview);

 private:
  std::uint16_t m_width = 84;
  std::uint16_t m_height = 48;
  std::uint8_t m_scale = 4;
  std::unique_ptr<picture::Picture> m_picture;
  // The file the source picture was read from, as it was then; no name for a picture handed over.
  struct Origin {
    QString fileName;
    qint64 size = 0;
    QDateTime modified;
  };
  Origin m_origin;
  model::Canvas m_scratch;
  model::Canvas m_preview;
};

extern TForm_AddImage* Form_AddImage;
