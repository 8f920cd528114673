#pragma once

#include <cstdint>

#include <QDialog>

// The picture import dialog. For now it only keeps the geometry the main window hands it; its
// views, buttons and the conversion are not built yet.
class TForm_AddImage : public QDialog {
  Q_OBJECT

 public:
  explicit TForm_AddImage(QWidget* parent = nullptr);

  // Keeps the picture's width, height and scale for the next conversions.
  void SetGeometry(std::uint16_t width, std::uint16_t height, std::uint8_t scale);

  std::uint16_t GeometryWidth() const { return m_width; }
  std::uint16_t GeometryHeight() const { return m_height; }
  std::uint8_t GeometryScale() const { return m_scale; }

 private:
  std::uint16_t m_width = 84;
  std::uint16_t m_height = 48;
  std::uint8_t m_scale = 4;
};

extern TForm_AddImage* Form_AddImage;
