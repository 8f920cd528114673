#include <stdexcept>

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include "tests/windows/support.h"
#include "windows/Application.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

namespace {

using windowstest::Click;
using windowstest::FormsTest;
using windowstest::WithModal;

TEST(ErrorBoxText, AFullStopFollowsOnlyWhatSortsAfterIt) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Bitmap image is not valid", "Bitmap image is not valid."},
      {"Stream read error", "Stream read error."},
      {"Unknown picture file extension (.gif)", "Unknown picture file extension (.gif)"},
      {"Cannot open file \"/tmp/a.bmp\". No such file or directory.",
       "Cannot open file \"/tmp/a.bmp\". No such file or directory."},
      {"Out of range!", "Out of range!"},
      {"trailing blank ", "trailing blank "},
      {"ends in a digit 7", "ends in a digit 7."},
      {"ends in a colon:", "ends in a colon:."},
      {"ends in a slash/", "ends in a slash/."},  // "/" sorts after "."
      {"ends in a comma,", "ends in a comma,"},
      {"Файл не найден", "Файл не найден."},
      {"Ошибка ё", "Ошибка ё."},
      {"Zürich ß", "Zürich ß."},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
  }
}

TEST(ApplicationTitle, FileNameUpToItsFirstDotCapitalised) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"/usr/bin/dotwright", "Dotwright"},     {"/opt/x/DOTWRIGHT.bin", "Dotwright"},
      {"dotwright.tar.gz", "Dotwright"},       {"/home/u/build.dir/app/dotWright", "Dotwright"},
      {"/tmp/windows_tests", "Windows_tests"}, {"/tmp/ёлка", "Ёлка"},
      {"/tmp/.hidden", "Dotwright"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplicationTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
  }
}

// An event handler that fails.
class Failing : public QObject {
 public:
  explicit Failing(const char* message) : m_message(message) {}
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error(m_message);
    return QObject::event(event);
  }

 private:
  const char* m_message;
};

// Sends an event that makes a handler throw, and records the error box it brings up.
windowstest::ErrorBoxSeen Fail(const char* message) {
  Failing failing(message);
  QEvent event(QEvent::User);
  return windowstest::WithErrorBox([&] { QApplication::sendEvent(&failing, &event); });
}

TEST(ErrorBox, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn) {
  const windowstest::ErrorBoxSeen box = Fail("Bitmap image is not valid");
  EXPECT_TRUE(box.shown);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.text, "Bitmap image is not valid.");
  EXPECT_EQ(box.title, ApplicationTitle(QCoreApplication::applicationFilePath()));
  EXPECT_EQ(box.title, "Windows_tests");
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.okButton);
  // And again: the first one left nothing behind.
  EXPECT_EQ(Fail("Не удалось").text, "Не удалось.");
}

using ErrorBoxInModalWindow = FormsTest;

TEST_F(ErrorBoxInModalWindow, TheModalWindowStaysOpen) {
  WithModal([] { Click(Form1->SpeedButton3); },
            [](QWidget* modal) {
              ASSERT_EQ(modal, Form_ToMass);
              EXPECT_EQ(Fail("Stream read error").text, "Stream read error.");
              EXPECT_TRUE(Form_ToMass->isVisible());
              EXPECT_EQ(QApplication::activeModalWidget(), Form_ToMass);
            });
  EXPECT_FALSE(Form_ToMass->isVisible());
}

}  // namespace
