#include "windows/Unit1.h"

#include <optional>

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>

#include "board/board.h"
#include "model/conversion.h"
#include "picture/loader.h"
#include "windows/About.h"
#include "windows/AddImage.h"
#include "windows/Application.h"
#include "windows/BoardImage.h"
#include "windows/Controls.h"
#include "windows/Forms.h"
#include "windows/RasterImage.h"
#include "windows/SpinEdit.h"
#include "windows/StatusPanel.h"
#include "windows/ToMass.h"

TForm1* Form1 = nullptr;

namespace {

constexpr int kToolBarHeight = 29;
constexpr int kControlTop = 4;  // below the tool bar's two-pixel top edge, two pixels of room
constexpr int kControlHeight = 22;
constexpr int kStripWidth = 27;
constexpr int kBarPanel = 19;  // the scroll bars' panels: a bar of 17 inside a one-pixel bevel
constexpr int kCornerBox = 17;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanelHeight = kStatusBarHeight - 5;  // inside the bar's 3 + 2 pixel margins
constexpr Qt::Alignment kBarLabel = Qt::AlignLeft | Qt::AlignVCenter;

std::optional<board::MouseButton> BoardButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return board::MouseButton::Left;
    case Qt::RightButton:
      return board::MouseButton::Right;
    case Qt::MiddleButton:
      return board::MouseButton::Middle;
    default:
      return std::nullopt;
  }
}

QToolButton* MakeButton(QWidget* parent, const char* name, const QIcon& icon, const QString& hint,
                        const QRect& geometry) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setIconSize({16, 16});
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolTip(hint);
  button->setGeometry(geometry);
  return button;
}

// A tool button with an icon and a caption; the caption names it for assistive technology.
QToolButton* MakeCaptionButton(QWidget* parent, const char* name, const QString& icon,
                               const QString& caption, const QString& hint, int x, int width) {
  QToolButton* button =
      MakeButton(parent, name, LoadIcon(icon), hint, {x, kControlTop, width, kControlHeight});
  button->setText(caption);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  return button;
}

// An icon-only button: its hint is also its accessible name.
QToolButton* MakeIconButton(QWidget* parent, const char* name, const QIcon& icon,
                            const QString& hint, const QRect& geometry) {
  QToolButton* button = MakeButton(parent, name, icon, hint, geometry);
  button->setAccessibleName(hint);
  return button;
}

QScrollBar* MakeScrollBar(QWidget* parent, const char* name, Qt::Orientation orientation) {
  auto* bar = new QScrollBar(orientation, parent);
  bar->setObjectName(name);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setSingleStep(1);
  // A track click moves by one pixel too; the thumb keeps the style's smallest length.
  bar->setPageStep(1);
  bar->setFocusPolicy(Qt::NoFocus);
  return bar;
}

// Sets a bar's range and position as board::UpdateScrollBar computes them. A new maximum below
// the position pulls the position down, which moves the board with it.
void ApplyScrollBar(QScrollBar& bar, int extent, int length, int margin) {
  const board::ScrollBarState state =
      board::UpdateScrollBar({bar.isEnabled(), bar.maximum(), bar.value()}, extent, length, margin);
  bar.setMaximum(state.maximum);
  bar.setValue(state.position);
  bar.setEnabled(state.enabled);
}

// Keys that a focused size box passes on to the window's shortcuts: undo and redo always, paste
// when the clipboard holds no text.
bool IsPictureKey(const QKeyEvent& key) {
  const QKeyCombination combination = key.keyCombination();
  for (const QKeySequence& sequence :
       {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
    if (sequence[0] == combination) return true;
  }
  if (QKeySequence(Qt::CTRL | Qt::Key_V)[0] == combination) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && !data->hasText();
  }
  return false;
}

// Writes the box's value back snapped to the step, when model::SnapToStep says it needs it.
void SnapSizeBox(TSpinEdit& box, int step) {
  if (const auto snapped = model::SnapToStep(box.Value(), step)) box.SetValue(*snapped);
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      m_surface(board::kSurfaceWidth, board::kSurfaceHeight),
      m_history(m_store, {m_geometry.width, m_geometry.height}) {
  setObjectName("Form1");
  setFont(FormFont());
  setWindowIcon(WindowIcon());

  BuildToolBar();
  m_client = new QWidget(this);
  m_client->installEventFilter(this);
  setCentralWidget(m_client);
  BuildToolStrip(m_client);
  BuildViewport(m_client);
  BuildStatusBar();
  BuildActions();
  Connect();
  setAcceptDrops(true);
  SpinEdit1->installEventFilter(this);
  SpinEdit2->installEventFilter(this);

  resize(kClientWidth, kClientHeight);
  // Centred as a whole, frame included: a window's position is that of its frame.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
  }
  // Lay the controls out now, hidden as the window still is: the first board's scroll ranges
  // need the bars' real lengths.
  layout()->activate();
  ArrangeClient();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildToolBar() {
  ToolBar1 = new TToolBar(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setFixedHeight(kToolBarHeight);

  SpeedButton1 = MakeCaptionButton(ToolBar1, "SpeedButton1", "new", "Новый", "Новый", 0, 65);
  SpeedButton2 = MakeCaptionButton(ToolBar1, "SpeedButton2", "picture", "Картинка",
                                   "Вставить рисунок", 65, 80);
  SpeedButton3 = MakeCaptionButton(ToolBar1, "SpeedButton3", "array", "Массив",
                                   "Получить массив картинки", 145, 72);

  Panel2 = new TPanel(ToolBar1);
  Panel2->setObjectName("Panel2");
  Panel2->setGeometry(225, kControlTop, 128, kControlHeight);
  Label1 = MakeLabel(Panel2, "Label1", "Масштаб", {4, 0, 49, kControlHeight}, kBarLabel);
  ComboBox1 = new QComboBox(Panel2);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->addItems({"1", "2", "4", "8"});
  ComboBox1->setCurrentIndex(2);
  ComboBox1->setGeometry(128 - 1 - 73, 1, 73, kControlHeight - 2);

  Panel3 = new TPanel(ToolBar1);
  Panel3->setObjectName("Panel3");
  Panel3->setGeometry(361, kControlTop, 192, kControlHeight);
  Label2 = MakeLabel(Panel3, "Label2", "Размер", {6, 0, 40, kControlHeight}, kBarLabel);
  Label4 = MakeLabel(Panel3, "Label4", "X", {46, 0, 10, kControlHeight}, kBarLabel);
  SpinEdit1 = new TSpinEdit(model::kMinWidth, model::kMaxWidth, model::kWidthStep, 84, Panel3);
  SpinEdit1->setObjectName("SpinEdit1");
  SpinEdit1->setGeometry(56, 1, 49, kControlHeight - 2);
  Label3 = MakeLabel(Panel3, "Label3", "Y", {110, 0, 10, kControlHeight}, kBarLabel);
  SpinEdit2 = new TSpinEdit(model::kMinHeight, model::kMaxHeight, model::kHeightStep, 48, Panel3);
  SpinEdit2->setObjectName("SpinEdit2");
  SpinEdit2->setGeometry(120, 1, 49, kControlHeight - 2);
  SpeedButton12 = MakeIconButton(Panel3, "SpeedButton12", LoadIcon("resize", "resize_disabled"),
                                 "Установить новый размер", {168, 0, 23, kControlHeight});
  SpeedButton12->setEnabled(false);

  SpeedButton4 = MakeIconButton(ToolBar1, "SpeedButton4", LoadIcon("about"), "О программе",
                                {561, kControlTop, 23, kControlHeight});
  SpeedButton6 = MakeIconButton(ToolBar1, "SpeedButton6", LoadIcon("exit"), "Выход",
                                {584, kControlTop, 23, kControlHeight});
  SpeedButton13 = MakeIconButton(ToolBar1, "SpeedButton13", LoadIcon("undo", "undo_disabled"),
                                 "Отменить", {615, kControlTop, 23, kControlHeight});
  SpeedButton14 = MakeIconButton(ToolBar1, "SpeedButton14", LoadIcon("redo", "redo_disabled"),
                                 "Вернуть", {638, kControlTop, 23, kControlHeight});
  SpeedButton13->setEnabled(false);
  SpeedButton14->setEnabled(false);
  setMenuWidget(ToolBar1);
}

void TForm1::BuildToolStrip(QWidget* parent) {
  CoolBar1 = new TPanel(parent);
  CoolBar1->setObjectName("CoolBar1");
  ToolGroup = new QButtonGroup(this);
  ToolGroup->setExclusive(true);
  const struct {
    QToolButton** button;
    const char* name;
    const char* icon;
  } tools[] = {
      {&SpeedButton5, "SpeedButton5", "pencil"},      {&SpeedButton7, "SpeedButton7", "fill"},
      {&SpeedButton8, "SpeedButton8", "line"},        {&SpeedButton9, "SpeedButton9", "zigzag"},
      {&SpeedButton10, "SpeedButton10", "rectangle"}, {&SpeedButton11, "SpeedButton11", "ellipse"}};
  int top = 2;
  for (const auto& tool : tools) {
    QToolButton* button =
        MakeButton(CoolBar1, tool.name, LoadIcon(tool.icon), {}, {2, top, 23, 22});
    button->setCheckable(true);
    ToolGroup->addButton(button);
    *tool.button = button;
    top += 22;
  }
  SpeedButton5->setChecked(true);
  SpeedButton5->setAccessibleName("Карандаш");
  // Drawing tools that were never finished: they stay in the group, hidden, so the pencil is
  // the only tool and the strip looks as it always has.
  for (QToolButton* hidden :
       {SpeedButton7, SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11}) {
    hidden->hide();
  }
}

void TForm1::BuildViewport(QWidget* parent) {
  Panel1 = new QFrame(parent);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel1->setLineWidth(1);
  // The area inside the border, which clips the board.
  m_viewport = new QWidget(Panel1);

  Image1 = new TBoardImage(m_surface, m_viewport);
  Image1->setObjectName("Image1");
  Image1->move(0, 0);

  Panel6 = new TPanel(m_viewport);
  Panel6->setObjectName("Panel6");
  ScrollBar2 = MakeScrollBar(Panel6, "ScrollBar2", Qt::Vertical);

  Panel4 = new TPanel(m_viewport);
  Panel4->setObjectName("Panel4");
  ScrollBar1 = MakeScrollBar(Panel4, "ScrollBar1", Qt::Horizontal);
  Panel5 = new TPanel(Panel4, TPanel::Bevel::None);
  Panel5->setObjectName("Panel5");
}

void TForm1::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setFixedHeight(kStatusBarHeight);
  const int widths[] = {100, 50};
  for (int i = 0; i < 2; ++i) {
    // The pointer readout changes with every cell the pointer enters: its panel keeps the text's
    // shaped glyphs.
    QLabel* panel = i == 0 ? new TStatusPanel(StatusBar1) : new QLabel(StatusBar1);
    panel->setObjectName(QString("StatusPanel%1").arg(i));
    // Fixed in both directions, at the size the bar's layout gives them anyway: a new readout
    // text then repaints the label alone instead of laying the whole status bar out again.
    panel->setFixedSize(widths[i], kStatusPanelHeight);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Opaque, filled with the window colour the bar shows under it anyway: a new text repaints
    // the label without painting the bar and the window below it first.
    panel->setAutoFillBackground(true);
    panel->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(panel);
    m_statusPanels[i] = panel;
  }
  m_statusPanels[0]->setText(QString::fromStdString(board::ReadoutText(m_readoutCell)));
  setStatusBar(StatusBar1);
}

// Keyboard commands with no control of their own: shortcuts of the whole window, which a focused
// size box keeps for its own text editing where it has a use for the key.
void TForm1::BuildActions() {
  const auto make = [this](const char* name, const QString& text, const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
  };
  ActionUndo = make("ActionUndo", "Отменить", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  ActionRedo =
      make("ActionRedo", "Вернуть",
           {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  ActionOpen = make("ActionOpen", "Открыть…", {QKeySequence(Qt::CTRL | Qt::Key_O)});
  ActionSave = make("ActionSave", "Сохранить…", {QKeySequence(Qt::CTRL | Qt::Key_S)});
  ActionSaveAs =
      make("ActionSaveAs", "Сохранить как…", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
  ActionPaste = make("ActionPaste", "Вставить", {QKeySequence(Qt::CTRL | Qt::Key_V)});

  QStringList patterns{"*.h", "*.c", "*.txt", "*.xbm", "*.bin"};
  for (const std::string& extension : picture::PictureExtensions())
    if (!patterns.contains("*." + QString::fromStdString(extension)))
      patterns << "*." + QString::fromStdString(extension);
  auto* openDialog = new TOpenDialog({"Массив или картинка (" + patterns.join(' ') + ")"}, this);
  ChooseOpenFile = [openDialog] { return openDialog->Execute(); };
  // The array window's save dialog: one folder remembered for both.
  ChooseSaveFile = [](const QString& suggested, const QString& filter) {
    CreateDialogs();
    return Form_ToMass->ChooseSaveFile(suggested, filter);
  };
}

void TForm1::Connect() {
  // Every handler through ConnectHandler, so that an error escaping one reaches the error box.
  ConnectHandler(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  ConnectHandler(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  ConnectHandler(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
  ConnectHandler(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
  ConnectHandler(SpeedButton6, &QToolButton::clicked, this, &TForm1::SpeedButton6Click);
  ConnectHandler(SpeedButton12, &QToolButton::clicked, this, &TForm1::SpeedButton12Click);
  // Only a pick by the user, not a change made by the program.
  ConnectHandler(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
  ConnectHandler(SpinEdit1, &TSpinEdit::Change, this, &TForm1::SpinEdit1Change);
  ConnectHandler(SpinEdit2, &TSpinEdit::Change, this, &TForm1::SpinEdit2Change);
  ConnectHandler(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::ScrollBar1Change);
  ConnectHandler(ScrollBar2, &QScrollBar::valueChanged, this, &TForm1::ScrollBar2Change);
  ConnectHandler(Image1, &TBoardImage::MouseDown, this, &TForm1::Image1MouseDown);
  ConnectHandler(Image1, &TBoardImage::MouseMove, this, &TForm1::Image1MouseMove);
  ConnectHandler(Image1, &TBoardImage::MouseUp, this, &TForm1::Image1MouseUp);
  ConnectHandler(SpeedButton13, &QToolButton::clicked, this, &TForm1::SpeedButton13Click);
  ConnectHandler(SpeedButton14, &QToolButton::clicked, this, &TForm1::SpeedButton14Click);
  ConnectHandler(ActionUndo, &QAction::triggered, this, &TForm1::SpeedButton13Click);
  ConnectHandler(ActionRedo, &QAction::triggered, this, &TForm1::SpeedButton14Click);
  ConnectHandler(ActionOpen, &QAction::triggered, this, &TForm1::ActionOpenExecute);
  ConnectHandler(ActionSave, &QAction::triggered, this, &TForm1::ActionSaveExecute);
  ConnectHandler(ActionSaveAs, &QAction::triggered, this, &TForm1::ActionSaveAsExecute);
  ConnectHandler(ActionPaste, &QAction::triggered, this, &TForm1::ActionPasteExecute);
}

// The bars' panels lie along the right and bottom edges inside the viewport's border, over the
// board: the horizontal bar is as wide as the visible part of the board, the vertical one two
// pixels shorter than it is high.
void TForm1::ArrangeClient() {
  const int w = m_client->width();
  const int h = m_client->height();
  CoolBar1->setGeometry(0, 0, kStripWidth, h);
  Panel1->setGeometry(kStripWidth, 0, w - kStripWidth, h);
  const QRect inside = Panel1->contentsRect();
  m_viewport->setGeometry(inside);
  const int vw = inside.width();
  const int vh = inside.height();
  Panel4->setGeometry(0, vh - kBarPanel, vw, kBarPanel);
  ScrollBar1->setGeometry(1, 1, vw - 2 - kCornerBox, kBarPanel - 2);
  Panel5->setGeometry(vw - 1 - kCornerBox, 1, kCornerBox, kCornerBox);
  Panel6->setGeometry(vw - kBarPanel, 0, kBarPanel, vh - kBarPanel);
  ScrollBar2->setGeometry(1, 1, kBarPanel - 2, vh - kBarPanel - 2);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_client && event->type() == QEvent::Resize) ArrangeClient();
  // A size box keeps the focus while the user draws (the board takes none), so the picture's
  // keys must not stop there: undo and redo are the picture's, and so is a paste of anything but
  // text, which the box could not take anyway.
  if ((watched == SpinEdit1 || watched == SpinEdit2) && event->type() == QEvent::ShortcutOverride &&
      IsPictureKey(*static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::RedrawBoard() {
  m_geometry.scale = model::ScaleFromIndex(ComboBox1->currentIndex());
  const int width = model::TakeWidth(SpinEdit1->Value());
  const int height = model::TakeHeight(SpinEdit2->Value());
  SpinEdit1->SetValue(width);
  SpinEdit2->SetValue(height);
  m_geometry.width = static_cast<std::uint16_t>(width);
  m_geometry.height = static_cast<std::uint16_t>(height);
  board::DrawBoard(m_surface, m_store, m_geometry, ButtonFace());
  UpdateCaption();
  UpdateScrollBars();
  Image1->RepaintDirty();
}

void TForm1::UpdateScrollBars() {
  ApplyScrollBar(*ScrollBar1, m_geometry.width * m_geometry.scale, ScrollBar1->width(),
                 board::kHorizontalMargin);
  ApplyScrollBar(*ScrollBar2, m_geometry.height * m_geometry.scale, ScrollBar2->height(),
                 board::kVerticalMargin);
}

void TForm1::UpdateSizeButton() {
  SpeedButton12->setEnabled(SpinEdit1->Value() != m_geometry.width ||
                            SpinEdit2->Value() != m_geometry.height);
}

void TForm1::ApplyConverted(const model::Canvas& preview) {
  model::StoreConverted(preview, m_store, m_geometry.width, m_geometry.height);
  RedrawBoard();
  CommitStep();
}

void TForm1::FormCreate() {
  RedrawBoard();
}

void TForm1::FormResize() {
  UpdateScrollBars();
}

void TForm1::SpeedButton1Click() {
  m_store.ClearPicture();
  RedrawBoard();
  SpeedButton12->setEnabled(false);
  CommitStep();
}

void TForm1::SpeedButton2Click() {
  CreateDialogs();
  Form_AddImage->SetGeometry(m_geometry.width, m_geometry.height, m_geometry.scale);
  Form_AddImage->exec();
}

void TForm1::SpeedButton3Click() {
  CreateDialogs();
  Form_ToMass->SetPicture(m_store, m_geometry.width, m_geometry.height);
  Form_ToMass->exec();
}

void TForm1::SpeedButton4Click() {
  CreateDialogs();
  AboutBox->exec();
}

void TForm1::SpeedButton6Click() {
  close();
}

void TForm1::SpeedButton12Click() {
  RedrawBoard();
  SpeedButton12->setEnabled(false);
  CommitStep();
}

void TForm1::ComboBox1Change() {
  RedrawBoard();
  SpeedButton12->setEnabled(false);
  CommitStep();
}

void TForm1::SpinEdit1Change() {
  SnapSizeBox(*SpinEdit1, model::kWidthStep);
  UpdateSizeButton();
}

void TForm1::SpinEdit2Change() {
  SnapSizeBox(*SpinEdit2, model::kHeightStep);
  UpdateSizeButton();
}

void TForm1::ScrollBar1Change() {
  Image1->move(-ScrollBar1->value(), Image1->y());
}

void TForm1::ScrollBar2Change() {
  Image1->move(Image1->x(), -ScrollBar2->value());
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int x, int y) {
  const std::optional<board::MouseButton> pressed = BoardButton(button);
  if (pressed) board::MouseDown(m_paint, *pressed, x, y, m_store, m_geometry, m_surface);
  Image1->RepaintDirty();
}

void TForm1::Image1MouseMove(int x, int y) {
  const std::optional<board::Cell> cell =
      board::MouseMove(m_paint, x, y, m_store, m_geometry, m_surface);
  // Most moves stay in the cell read out: they build no text.
  if (cell && *cell != m_readoutCell) {
    m_readoutCell = *cell;
    m_statusPanels[0]->setText(QString::fromStdString(board::ReadoutText(*cell)));
  }
  Image1->RepaintDirty();
}

void TForm1::Image1MouseUp(Qt::MouseButton, int, int) {
  board::MouseUp(m_paint);
  CommitStep();
}

model::Colour TForm1::ButtonFace() const {
  return ToColour(palette().color(QPalette::Window));
}

QString TForm1::StatusText(int panel) const {
  return m_statusPanels[panel]->text();
}
