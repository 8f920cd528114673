#include <gtest/gtest.h>
#include <QGuiApplication>

namespace {

// Text drawing needs the font database, which needs a GUI application; the offscreen platform
// needs no display.
class GuiEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (QGuiApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
  }
  void TearDown() override { m_app.reset(); }

 private:
  int m_argc = 1;
  char m_name[16] = "picture_tests";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<QGuiApplication> m_app;
};

[[maybe_unused]] testing::Environment* const kGui =
    testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
