#include "windows/ToMass.h"

#include <stdexcept>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTextCursor>

#include "picture/file_writing.h"
#include "windows/Application.h"
#include "windows/Controls.h"

TForm_ToMass* Form_ToMass = nullptr;

namespace {

struct LayoutChoice {
  model::Layout layout;
  const char* caption;
  const char* hint;
};

// In the order of model::kLayouts.
const LayoutChoice kLayoutChoices[] = {
    {model::Layout::PageLsb, "Страницы, младший бит сверху (PCD8544, SSD1306, ST7565)",
     "page-lsb: страницы по 8 строк сверху вниз, в странице байт на столбец слева направо, "
     "бит 0 — верхняя точка.\nPCD8544 (Nokia 3310/5110), SSD1306 и SH1106 в страничном режиме, "
     "ST7565, KS0108, MicroPython MONO_VLSB."},
    {model::Layout::PageMsb, "Страницы, старший бит сверху",
     "page-msb: те же страницы по 8 строк, бит 7 — верхняя точка."},
    {model::Layout::RowsMsb, "Строки, старший бит слева (Adafruit GFX)",
     "rows-msb: строки сверху вниз, в строке по 8 точек в байте слева направо, бит 7 — левая "
     "точка.\nAdafruit GFX drawBitmap, MicroPython MONO_HLSB. Строка дополняется нулевыми "
     "битами до целого байта."},
    {model::Layout::RowsLsb, "Строки, младший бит слева (XBM, u8g2)",
     "rows-lsb: строки сверху вниз, по 8 точек в байте, бит 0 — левая точка.\nXBM, u8g2 "
     "drawXBM, MicroPython MONO_HMSB. Строка дополняется нулевыми битами до целого байта."},
};

struct FormatChoice {
  const char* caption;
  const char* hint;
  const char* filter;
  const char* suffix;
};

// In the order of model::kFormats.
const FormatChoice kFormatChoices[] = {
    {"C", "Массив на C", "Текст на C (*.h *.c)", "h"},
    {"XBM",
     "Точечный рисунок X (XBM): #define ширины и высоты и массив _bits, всегда строками, бит 0 "
     "слева",
     "Точечный рисунок XBM (*.xbm)", "xbm"},
    {"BIN", "Одни байты, без текста; в окне — они же шестнадцатеричными числами",
     "Двоичный файл (*.bin)", "bin"},
};

const char* const kTypeCaptions[] = {"char", "uint8_t (stdint.h)", "uint8_t PROGMEM (AVR)"};

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint, const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setGeometry(geometry);
  // Enter belongs to the text area; Space presses the focused button.
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint, const QRect& geometry) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setToolTip(hint);
  box->setGeometry(geometry);
  return box;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QString& hint, const QRect& geometry) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  list->setToolTip(hint);
  list->setGeometry(geometry);
  return list;
}

}  // namespace

TForm_ArrayOptions::TForm_ArrayOptions(QWidget* parent) : QDialog(parent) {
  SetUpDialog(*this, "Form_ArrayOptions", "Параметры массива", {289, 197});

  MakeLabel(this, "Label1", "Имя массива:", {8, 12})->adjustSize();
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(120, 8, 161, 21);
  Edit1->setToolTip("Имя массива: латинские буквы, цифры и «_», не с цифры");

  MakeLabel(this, "Label2", "Тип элементов:", {8, 38})->adjustSize();
  ComboBox1 = MakeList(this, "ComboBox1",
                       "char — как прежде; uint8_t — с #include <stdint.h>; uint8_t PROGMEM — "
                       "во флеш-памяти AVR (с <avr/pgmspace.h>)",
                       {120, 34, 161, 21});
  for (const char* caption : kTypeCaptions) ComboBox1->addItem(caption);

  MakeLabel(this, "Label3", "Байтов в строке:", {8, 64})->adjustSize();
  SpinEdit1 = new QSpinBox(this);
  SpinEdit1->setObjectName("SpinEdit1");
  SpinEdit1->setGeometry(120, 60, 97, 21);
  SpinEdit1->setRange(0, model::kMaxBytesPerLine);
  SpinEdit1->setSpecialValueText("по ширине");
  SpinEdit1->setToolTip(
      "Байтов в строке текста; «по ширине» — 12, если ширина делится на 12, "
      "иначе 8, если делится на 8, иначе 4");

  CheckBox1 = MakeCheckBox(this, "CheckBox1", "Инвертировать: точка — нулевой бит",
                           "Для дисплеев, у которых 1 — белый", {8, 92, 273, 17});
  CheckBox2 = MakeCheckBox(this, "CheckBox2", "#define ширины и высоты",
                           "Строки #define ИМЯ_WIDTH и ИМЯ_HEIGHT над массивом", {8, 114, 273, 17});
  CheckBox3 = MakeCheckBox(this, "CheckBox3", "Рисунок из # и . в комментарии",
                           "Комментарий над массивом рисует картинку: # — точка, . — пусто",
                           {8, 136, 273, 17});

  Button1 = MakeButton(this, "Button1", "По умолчанию",
                       "Вернуть имя, тип, инверсию, строки #define, рисунок и байты в строке "
                       "к исходным",
                       {8, 164, 97, 25});
  BitBtn1 = MakeButton(this, "BitBtn1", "Закрыть", "Закрыть параметры", {190, 164, 91, 25});
  BitBtn1->setIcon(LoadIcon("close"));

  ConnectHandler(Edit1, &QLineEdit::textEdited, this, &TForm_ArrayOptions::Edit1Change);
  ConnectHandler(ComboBox1, &QComboBox::activated, this, &TForm_ArrayOptions::ControlChange);
  ConnectHandler(SpinEdit1, &QSpinBox::valueChanged, this, &TForm_ArrayOptions::ControlChange);
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3})
    ConnectHandler(box, &QCheckBox::toggled, this, &TForm_ArrayOptions::ControlChange);
  ConnectHandler(Button1, &QPushButton::clicked, this, &TForm_ArrayOptions::Button1Click);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
  // A name left unusable when the window closes gives way to the last good one.
  ConnectHandler(this, &QDialog::finished, this, &TForm_ArrayOptions::ShowOptions);
}

void TForm_ArrayOptions::SetOptions(const model::OutputOptions& options) {
  m_options = options;
  ShowOptions();
}

void TForm_ArrayOptions::ShowOptions() {
  m_showing = true;
  Edit1->setText(QString::fromStdString(m_options.name));
  Edit1->setPalette(QPalette());
  ComboBox1->setCurrentIndex(static_cast<int>(m_options.type));
  SpinEdit1->setValue(m_options.bytesPerLine);
  CheckBox1->setChecked(m_options.invert);
  CheckBox2->setChecked(m_options.defines);
  CheckBox3->setChecked(m_options.art);
  m_showing = false;
}

void TForm_ArrayOptions::Edit1Change() {
  model::OutputOptions options = m_options;
  options.name = Edit1->text().toStdString();
  try {
    model::ValidateOptions(options);
  } catch (const model::OptionError& error) {
    // Typing goes on through names that are not yet usable: the text keeps the last good one
    // and the field says what is wrong.
    QPalette palette;
    palette.setColor(QPalette::Text, Qt::red);
    Edit1->setPalette(palette);
    Edit1->setToolTip(QString::fromUtf8(error.what()));
    return;
  }
  Edit1->setPalette(QPalette());
  Edit1->setToolTip("Имя массива: латинские буквы, цифры и «_», не с цифры");
  m_options = options;
  emit Changed(m_options);
}

void TForm_ArrayOptions::ControlChange() {
  if (m_showing) return;
  m_options.type = model::kElementTypes[static_cast<std::size_t>(ComboBox1->currentIndex())];
  m_options.bytesPerLine = SpinEdit1->value();
  m_options.invert = CheckBox1->isChecked();
  m_options.defines = CheckBox2->isChecked();
  m_options.art = CheckBox3->isChecked();
  emit Changed(m_options);
}

void TForm_ArrayOptions::Button1Click() {
  model::OutputOptions defaults;
  defaults.layout = m_options.layout;
  defaults.format = m_options.format;
  SetOptions(defaults);
  emit Changed(m_options);
}

TForm_ToMass::TForm_ToMass(QWidget* parent) : QDialog(parent) {
  SetUpDialog(*this, "Form_ToMass", "Массив", {647, 498});

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(8, 8, 625, 449);
  Memo1->setFont(MemoFont());
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Memo1->installEventFilter(this);

  // The strip left of "Закрыть": layout, format, code shape, copy, save.
  ComboBox1 = MakeList(this, "ComboBox1", {}, {8, 466, 200, 21});
  for (std::size_t i = 0; i < std::size(kLayoutChoices); ++i) {
    ComboBox1->addItem(kLayoutChoices[i].caption);
    ComboBox1->setItemData(static_cast<int>(i), kLayoutChoices[i].hint, Qt::ToolTipRole);
  }
  // The list opens wide enough for the whole names.
  ComboBox1->view()->setMinimumWidth(ComboBox1->view()->sizeHintForColumn(0) + 8);

  ComboBox2 = MakeList(this, "ComboBox2", {}, {212, 466, 52, 21});
  for (std::size_t i = 0; i < std::size(kFormatChoices); ++i) {
    ComboBox2->addItem(kFormatChoices[i].caption);
    ComboBox2->setItemData(static_cast<int>(i), kFormatChoices[i].hint, Qt::ToolTipRole);
  }
  ComboBox2->view()->setMinimumWidth(ComboBox2->view()->sizeHintForColumn(0) + 8);

  Button1 = MakeButton(this, "Button1", "Параметры…",
                       "Имя массива, тип элементов, инверсия, #define, рисунок в комментарии, "
                       "байтов в строке",
                       {268, 464, 88, 25});
  Button2 = MakeButton(this, "Button2", "Копировать", "Скопировать весь текст в буфер обмена",
                       {360, 464, 86, 25});
  Button3 =
      MakeButton(this, "Button3", "Сохранить…",
                 "Сохранить в файл: .h для C, .xbm для XBM, .bin для байтов", {450, 464, 86, 25});

  BitBtn2 = new QPushButton(LoadIcon("close"), "Закрыть", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(544, 464, 91, 25);
  BitBtn2->setAutoDefault(false);
  // Esc closes the window as its cancel button does (the dialog's own reject).

  Form_ArrayOptions = new TForm_ArrayOptions(this);

  ConnectHandler(ComboBox1, &QComboBox::activated, this, &TForm_ToMass::ComboBox1Change);
  ConnectHandler(ComboBox2, &QComboBox::activated, this, &TForm_ToMass::ComboBox2Change);
  ConnectHandler(Button1, &QPushButton::clicked, this, &TForm_ToMass::Button1Click);
  ConnectHandler(Button2, &QPushButton::clicked, this, &TForm_ToMass::Button2Click);
  ConnectHandler(Button3, &QPushButton::clicked, this, &TForm_ToMass::Button3Click);
  ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TForm_ToMass::BitBtn2Click);
  ConnectHandler(Form_ArrayOptions, &TForm_ArrayOptions::Changed, this,
                 &TForm_ToMass::OptionsChange);
  // Ctrl+C away from the text area; in it, the event filter takes the key.
  auto* copy = new QShortcut(QKeySequence::Copy, this);
  ConnectHandler(copy, &QShortcut::activated, this, &TForm_ToMass::CopyText);

  ChooseSaveFile = [this](const QString& suggested, const QString& filter) {
    return RunSaveDialog(suggested, filter);
  };
  Rebuild();
}

void TForm_ToMass::SetPicture(const model::PixelStore& store, int width, int height) {
  m_store = &store;
  m_width = width;
  m_height = height;
  Rebuild();
}

void TForm_ToMass::Rebuild() {
  const std::size_t format = static_cast<std::size_t>(m_options.format);
  // An X bitmap has its own layout, which the list shows while it waits, the choice kept.
  const bool xbm = m_options.format == model::Format::Xbm;
  ComboBox1->setCurrentIndex(static_cast<int>(xbm ? model::Layout::RowsLsb : m_options.layout));
  ComboBox2->setCurrentIndex(static_cast<int>(format));
  ComboBox1->setEnabled(!xbm);
  ComboBox1->setToolTip(xbm ? QString("XBM всегда строками, бит 0 слева")
                            : QString("Порядок байтов: ") +
                                  kLayoutChoices[static_cast<std::size_t>(m_options.layout)].hint);
  ComboBox2->setToolTip(QString("Формат: ") + kFormatChoices[format].hint);
  if (m_store != nullptr)
    SetArrayText(model::BuildOutputText(*m_store, m_width, m_height, m_options));
}

void TForm_ToMass::SetArrayText(const std::string& text) {
  // The text area keeps its lines apart itself: a CR LF is one line break.
  QString entry = QString::fromStdString(text);
  entry.replace("\r\n", "\n");
  Memo1->setPlainText(entry + "\n");
  Memo1->moveCursor(QTextCursor::Start);
}

void TForm_ToMass::CopyText() {
  if (Memo1->textCursor().hasSelection()) {
    Memo1->copy();
  } else {
    QGuiApplication::clipboard()->setText(Memo1->toPlainText());
  }
}

void TForm_ToMass::ComboBox1Change() {
  m_options.layout = model::kLayouts[static_cast<std::size_t>(ComboBox1->currentIndex())];
  Form_ArrayOptions->SetOptions(m_options);
  Rebuild();
}

void TForm_ToMass::ComboBox2Change() {
  m_options.format = model::kFormats[static_cast<std::size_t>(ComboBox2->currentIndex())];
  Form_ArrayOptions->SetOptions(m_options);
  Rebuild();
}

void TForm_ToMass::OptionsChange(const model::OutputOptions& options) {
  m_options = options;
  Rebuild();
}

void TForm_ToMass::Button1Click() {
  Form_ArrayOptions->SetOptions(m_options);
  Form_ArrayOptions->exec();
}

void TForm_ToMass::Button2Click() {
  QGuiApplication::clipboard()->setText(Memo1->toPlainText());
}

void TForm_ToMass::Button3Click() {
  if (m_store == nullptr) return;
  const SaveOffer offer = SaveOfferFor(m_options);
  const std::optional<QString> path = ChooseSaveFile(offer.suggested, offer.filter);
  if (!path) return;
  SaveFileAtomically(*path, model::BuildFileText(*m_store, m_width, m_height, m_options));
}

void TForm_ToMass::BitBtn2Click() {
  reject();
}

std::optional<QString> TForm_ToMass::RunSaveDialog(const QString& suggested,
                                                   const QString& filter) {
  QFileDialog dialog(this, "Сохранить массив");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(suggested.section('.', -1));
  // The toolkit's own dialog, the same on every desktop, as the import dialog's.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!m_saveFolder.isEmpty()) dialog.setDirectory(m_saveFolder);
  dialog.selectFile(suggested);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  m_saveFolder = dialog.directory().absolutePath();
  const QStringList chosen = dialog.selectedFiles();
  if (!confirmed || chosen.isEmpty()) return std::nullopt;
  return chosen.front();
}

bool TForm_ToMass::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo1 &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    // The text area copies a selection only; with none, Ctrl+C takes the whole text.
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();
    } else {
      CopyText();
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

SaveOffer SaveOfferFor(const model::OutputOptions& options) {
  const FormatChoice& format = kFormatChoices[static_cast<std::size_t>(options.format)];
  return {QString::fromStdString(options.name) + "." + format.suffix, format.filter};
}

void SaveFileAtomically(const QString& path, const std::string& data) {
  if (const auto failure = picture::WriteWholeFile(path, data)) {
    throw std::runtime_error(
        QString("Не удалось сохранить файл «%1»: %2").arg(path, *failure).toStdString());
  }
}
