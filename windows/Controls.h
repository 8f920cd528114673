#pragma once

#include <QFrame>
#include <QIcon>
#include <QLabel>

#include "model/colour.h"

class QPaintEvent;
class QMouseEvent;

// A panel framed by up to two one-pixel bevels, an outer and an inner one, each raised, lowered
// or absent. Its contents rectangle lies inside the bevels.
class TPanel : public QFrame {
 public:
  enum class Bevel { None, Raised, Lowered };

  explicit TPanel(QWidget* parent, Bevel outer = Bevel::Raised, Bevel inner = Bevel::None);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Bevel m_outer;
  Bevel m_inner;
};

// A tool bar strip with an etched line along its top edge.
class TToolBar : public QFrame {
 public:
  using QFrame::QFrame;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A label that reports a left click released over it, as a link does.
class TClickLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void Click();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A plain-text label at `at`, not yet sized to its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at);

// A plain-text label filling `geometry`, its text placed there by `alignment`.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  Qt::Alignment alignment);

// The fonts and icons below are made as StartUp.cpp says, with the program's other start-up
// measures.

// The windows' default font: "MS Sans Serif", 8 point (11 pixels high), or the nearest sans face
// the system has, at the same pixel size so that the fixed layouts keep their room.
QFont FormFont();

// "Courier New", 11 pixels high, or the nearest monospaced face with Cyrillic letters.
QFont MemoFont();

// An icon drawn from the SVG file icons/<name>.svg compiled into the program, at the drawing's size
// and twice that; with `disabledName`, a drawing of its own for the disabled state.
QIcon LoadIcon(const QString& name, const QString& disabledName = {});

// The program's window icon, drawn separately for 32 x 32 and 16 x 16.
QIcon WindowIcon();

// A toolkit colour as a Colour 0x00BBGGRR.
model::Colour ToColour(const QColor& colour);

class QDialog;

// Sets a dialog up as the program's secondary windows are: modal, a fixed client size, a caption
// with only the close box, the default font.
void SetUpDialog(QDialog& dialog, const char* name, const QString& caption, QSize client);
