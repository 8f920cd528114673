#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "model/colour.h"
#include "model/pixel_store.h"

namespace clitest {

// What a run of the program gave.
struct Result {
  int status = -1;  // the exit status; -1 when it crashed or did not end
  QByteArray out;
  QByteArray err;
};

// Runs the built dotwright with `arguments` in `folder`, with DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM removed from its environment, and waits for it to end.
Result Dotwright(const QStringList& arguments, const QString& folder);

// A store set exactly where `set` holds inside w x h.
model::PixelStore StoreOf(int w, int h, const std::function<bool(int x, int y)>& set);

// A folder of a test's own, where the program runs.
class Folder {
 public:
  // Writes a file into the folder (its name may lead through subfolders, which are made); its
  // full name.
  QString Write(const QString& name, const QByteArray& bytes);
  QString Write(const QString& name, const std::vector<std::uint8_t>& bytes);
  // A file's whole content; empty when there is none.
  QByteArray Read(const QString& name) const;
  // The names in the folder, sorted.
  QStringList Names() const;
  Result Dotwright(const QStringList& arguments) const {
    return clitest::Dotwright(arguments, m_folder.path());
  }

  QTemporaryDir m_folder;
};

class FolderTest : public testing::Test, public Folder {};

}  // namespace clitest
