// Test programs that need a QApplication: the toolkit is prepared as the program prepares it.
// Listing the tests needs no display, so the application is made only to run them.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/desktop_services.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  platform::PrepareToolkit();
  int toolkitArgc = 1;
  QApplication application(toolkitArgc, argv);
  platform::QuietToolkitMessages();
  return RUN_ALL_TESTS();
}
