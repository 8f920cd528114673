#include "windows/AddImage.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "model/conversion.h"
#include "picture/convert.h"
#include "picture/loader.h"
#include "windows/Application.h"
#include "windows/Controls.h"
#include "windows/RasterImage.h"

TForm_AddImage* Form_AddImage = nullptr;

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& icon,
                        const QString& caption, const QString& hint, const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  if (!icon.isEmpty()) button->setIcon(LoadIcon(icon));
  if (!hint.isEmpty()) button->setToolTip(hint);
  button->setGeometry(geometry);
  // Enter presses the default button wherever the focus is; Space presses the focused one.
  button->setAutoDefault(false);
  return button;
}

// A lowered frame holding a view.
TPanel* MakeFrame(QWidget* parent, const char* name, QPoint at) {
  auto* frame = new TPanel(parent, TPanel::Bevel::Lowered);
  frame->setObjectName(name);
  frame->setGeometry(at.x(), at.y(), TForm_AddImage::kViewWidth, TForm_AddImage::kViewHeight);
  return frame;
}

// The open dialog's filter: bitmaps first, then every kind the loader reads, then each kind.
QStringList PictureFilters() {
  QStringList all;
  for (const std::string& extension : picture::PictureExtensions())
    all << "*." + QString::fromStdString(extension);
  return {
      "Точечный рисунок (*.bmp)",
      "Все рисунки (" + all.join(' ') + ")",
      "Значок (*.ico)",
      "Метафайл (*.wmf *.emf)",
      "Рисунок PNG (*.png)",
      "Рисунок JPEG (*.jpg *.jpeg)",
      "Рисунок GIF (*.gif)",
      "Рисунок WebP (*.webp)",
      "Рисунок TIFF (*.tif *.tiff)",
      "Рисунок TGA (*.tga)",
      "Рисунок PBM, PGM, PPM (*.pbm *.pgm *.ppm)",
      "Рисунок XBM (*.xbm)",
      "Рисунок SVG (*.svg)",
  };
}

}  // namespace

TOpenDialog::TOpenDialog(const QStringList& filters, QWidget* owner)
    : QObject(owner), m_owner(owner), m_filters(filters) {}

std::optional<QString> TOpenDialog::Execute() {
  QFileDialog dialog(m_owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The name typed need not exist: the loader says what is wrong with it.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(m_filters);
  // The toolkit's own dialog, the same on every desktop; a desktop's may refuse a typed name that
  // does not exist.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!m_folder.isEmpty()) dialog.setDirectory(m_folder);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  m_folder = dialog.directory().absolutePath();
  const QStringList chosen = dialog.selectedFiles();
  if (!confirmed || chosen.isEmpty()) return std::nullopt;
  return chosen.front();
}

TForm_AddImage::TForm_AddImage(QWidget* parent)
    : QDialog(parent), m_scratch(kViewWidth, kViewHeight), m_preview(kViewWidth, kViewHeight) {
  SetUpDialog(*this, "Form_AddImage", "Добавление картинки", {669, 408});

  Panel1 = MakeFrame(this, "Panel1", {8, 8});
  Image1 = new TPictureImage(kViewWidth, kViewHeight, Panel1);
  Image1->setObjectName("Image1");
  Image1->setGeometry(ViewPlace(m_width, m_height));

  Panel2 = MakeFrame(this, "Panel2", {336, 8});
  Image3 = new TRasterImage(m_preview, Panel2);
  Image3->setObjectName("Image3");
  Image3->setAttribute(Qt::WA_OpaquePaintEvent);
  Image3->setGeometry(ViewPlace(m_width, m_height));

  Image_buffer = new TRasterImage(m_scratch, this);
  Image_buffer->setObjectName("Image_buffer");
  Image_buffer->setGeometry(328, 120, kViewWidth, kViewHeight);
  Image_buffer->hide();

  BitBtn1 = MakeButton(this, "BitBtn1", "open", "Открыть", "Открыть точечный рисунок",
                       {104, 272, 81, 25});
  BitBtn2 = MakeButton(this, "BitBtn2", "convert", "Преобразовать",
                       "Преобразовать рисунок в монохромный", {264, 272, 121, 25});
  Label4 = MakeLabel(this, "Label4", "Граница чёрного и белого", {48, 320});
  Label4->adjustSize();
  // Lies beneath the slider, which hides it.
  Label3 = MakeLabel(this, "Label3", "0000000", {168, 354});
  Label3->adjustSize();

  TrackBar1 = new QSlider(Qt::Horizontal, this);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setGeometry(8, 336, 209, 33);
  TrackBar1->setRange(model::kMinThreshold, model::kMaxThreshold);
  TrackBar1->setValue(model::kDefaultThreshold);
  TrackBar1->setTickPosition(QSlider::NoTicks);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(2);
  TrackBar1->setAutoFillBackground(true);

  CheckBox1 = new QCheckBox("Инвертировать цвета", this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(216, 336, 137, 17);
  CheckBox1->setChecked(false);

  Button10 = MakeButton(this, "Button10", {}, "норма", {}, {168, 368, 41, 17});
  // In the free space under the check box; "Порог" converts exactly as without the choice.
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->addItems({"Порог", "Флойд–Стейнберг", "Аткинсон", "Байер 4×4", "Байер 8×8"});
  ComboBox1->setCurrentIndex(0);
  ComboBox1->setGeometry(216, 372, 137, 21);
  ComboBox1->setToolTip(
      "Как передать полутона: порог делит на чёрное и белое по границе, остальные способы "
      "рисуют серое точками");
  BitBtn3 = MakeButton(this, "BitBtn3", "apply", "Применить", {}, {472, 368, 91, 25});
  BitBtn3->setDefault(true);
  BitBtn4 = MakeButton(this, "BitBtn4", "close", "Отмена", {}, {576, 368, 75, 25});
  // Esc, like the close box, rejects the dialog as "Отмена" does (the dialog's own reject).

  OpenDialog1 = new TOpenDialog(PictureFilters(), this);
  OpenDialog1->setObjectName("OpenDialog1");
  ChooseFile = [this] { return OpenDialog1->Execute(); };
  LoadFile = [](const std::string& fileName) { return picture::LoadPicture(fileName); };

  // Every handler through ConnectHandler, so that an error escaping one (a picture that does not
  // load or draw) reaches the error box.
  ConnectHandler(BitBtn1, &QPushButton::clicked, this, &TForm_AddImage::BitBtn1Click);
  ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TForm_AddImage::BitBtn2Click);
  ConnectHandler(BitBtn3, &QPushButton::clicked, this, &TForm_AddImage::BitBtn3Click);
  ConnectHandler(BitBtn4, &QPushButton::clicked, this, &TForm_AddImage::BitBtn4Click);
  ConnectHandler(Button10, &QPushButton::clicked, this, &TForm_AddImage::Button10Click);
}

void TForm_AddImage::SetGeometry(std::uint16_t width, std::uint16_t height, std::uint8_t scale) {
  m_width = width;
  m_height = height;
  m_scale = scale;
  const QRect place = ViewPlace(width, height);
  Image1->setGeometry(place);
  Image3->setGeometry(place);
}

void TForm_AddImage::BitBtn1Click() {
  const std::optional<QString> fileName = ChooseFile();
  if (!fileName) return;
  LoadSourcePicture(*fileName);
}

void TForm_AddImage::SetSourcePicture(std::unique_ptr<picture::Picture> source) {
  m_picture = std::move(source);
  m_origin = {};
  Image1->SetPicture(m_picture.get());
}

void TForm_AddImage::LoadSourcePicture(const QString& fileName) {
  // Let go only what can be read again as it was: a large picture whose file has not changed.
  bool released = false;
  if (m_picture != nullptr && !m_origin.fileName.isEmpty()) {
    const QFileInfo file(m_origin.fileName);
    const std::uint64_t bytes =
        std::max<std::uint64_t>(std::uint64_t(std::max(m_picture->Width(), 0)) *
                                    std::uint64_t(std::max(m_picture->Height(), 0)) * 4,
                                std::uint64_t(std::max<qint64>(m_origin.size, 0)));
    if (bytes > kKeptPictureBytes && file.exists() && file.size() == m_origin.size &&
        file.lastModified() == m_origin.modified) {
      Image1->SetPicture(nullptr);
      m_picture.reset();
      released = true;
    }
  }
  std::unique_ptr<picture::Picture> loaded;
  try {
    loaded = LoadFile(QFile::encodeName(fileName).toStdString());
  } catch (...) {
    if (released) {
      // The file was as it was loaded a moment ago; should it fail now (changed meanwhile, or
      // memory short), the view is left empty rather than the first error hidden.
      try {
        m_picture = LoadFile(QFile::encodeName(m_origin.fileName).toStdString());
      } catch (...) {
        m_origin = {};
      }
      Image1->SetPicture(m_picture.get());
    }
    throw;
  }
  SetSourcePicture(std::move(loaded));
  const QFileInfo file(fileName);
  m_origin = {fileName, file.size(), file.lastModified()};
}

void TForm_AddImage::BitBtn2Click() {
  picture::Convert(m_picture.get(), m_scratch, m_preview,
                   {m_width, m_height, TrackBar1->value(), CheckBox1->isChecked(), Dither()});
  Image_buffer->RepaintDirty();
  Image3->RepaintDirty();
}

void TForm_AddImage::BitBtn3Click() {
  emit Apply(m_preview);
  accept();
}

void TForm_AddImage::BitBtn4Click() {
  reject();
}

void TForm_AddImage::Button10Click() {
  TrackBar1->setValue(model::kDefaultThreshold);
}

model::Dither TForm_AddImage::Dither() const {
  return model::kDithers[std::clamp<qsizetype>(ComboBox1->currentIndex(), 0,
                                               std::size(model::kDithers) - 1)];
}
