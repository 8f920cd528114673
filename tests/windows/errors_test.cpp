#include <stdexcept>

#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
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

TEST(ApplicationTitle, FileNameUpToItsFirstDotWithTheRestInLowerCase) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"/usr/bin/Dotwright", "Dotwright"},     {"/opt/x/DOTWRIGHT.bin", "Dotwright"},
      {"dotwright.tar.gz", "dotwright"},       {"/home/u/build.dir/app/dotWRIGHT", "dotwright"},
      {"/tmp/windows_tests", "windows_tests"}, {"/tmp/ЁЛКА.exe", "Ёлка"},
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
  EXPECT_EQ(box.title, "windows_tests");
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.okButton);
  // And again: the first one left nothing behind.
  EXPECT_EQ(Fail("Не удалось").text, "Не удалось.");
}

// A window whose handler fails on every other click.
class Flaky : public QWidget {
 public:
  void ButtonClick() {
    if (++clicks % 2 == 1) throw std::runtime_error("Cannot open file");
    ++done;
  }
  int clicks = 0;
  int done = 0;
};

TEST(ErrorBox, AButtonHandlerRunThroughTheDispatchFailsAndWorksAgain) {
  Flaky window;
  auto* button = new QPushButton("Go", &window);
  button->resize(60, 20);
  QObject::connect(button, &QPushButton::clicked, &window, Handler(&window, &Flaky::ButtonClick));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, windowstest::kPatience));
  for (int round = 0; round < 2; ++round) {
    const windowstest::ErrorBoxSeen box = windowstest::WithErrorBox([&] { Click(button); });
    EXPECT_EQ(box.text, "Cannot open file.");
    // The click that failed left the button as a click leaves it: the next one works.
    EXPECT_FALSE(button->isDown());
    Click(button);
    EXPECT_EQ(window.done, round + 1);
  }
  // The keyboard presses it through the same way.
  button->setFocus();
  EXPECT_TRUE(windowstest::WithErrorBox([&] { QTest::keyClick(button, Qt::Key_Space); }).shown);
  EXPECT_EQ(window.clicks, 5);
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
