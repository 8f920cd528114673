#include "tests/cli/process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace clitest {

Result Dotwright(const QStringList& arguments, const QString& folder) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(name);
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(folder);
  process.start(DOTWRIGHT_EXECUTABLE, arguments);
  Result run;
  // A generous limit against a hang; the runs take a fraction of a second.
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  if (process.exitStatus() == QProcess::NormalExit) run.status = process.exitCode();
  return run;
}

model::PixelStore StoreOf(int w, int h, const std::function<bool(int x, int y)>& set) {
  model::PixelStore store;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) store.Set(x, y, set(x, y));
  return store;
}

QString Folder::Write(const QString& name, const QByteArray& bytes) {
  const QString path = m_folder.filePath(name);
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
  return path;
}

QString Folder::Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
  return Write(name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qsizetype>(bytes.size())));
}

QByteArray Folder::Read(const QString& name) const {
  QFile file(m_folder.filePath(name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QStringList Folder::Names() const {
  return QDir(m_folder.path())
      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

}  // namespace clitest
