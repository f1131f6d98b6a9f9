// main() of the GUI test programs: a QApplication must exist before any widget is made, and
// the tests render offscreen unless the caller chose another platform (ctest sets offscreen
// too; this also covers running a test program by hand and the test discovery run).
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
