#include "windows/AddImage.h"

#include "windows/Controls.h"

TForm_AddImage* Form_AddImage = nullptr;

TForm_AddImage::TForm_AddImage(QWidget* parent) : QDialog(parent) {
  SetUpDialog(*this, "Form_AddImage", "Добавление картинки", {669, 408});
}

void TForm_AddImage::SetGeometry(std::uint16_t width, std::uint16_t height, std::uint8_t scale) {
  m_width = width;
  m_height = height;
  m_scale = scale;
}
