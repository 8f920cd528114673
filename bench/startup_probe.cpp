// Dotwright's start-up as app/main.cpp runs it, reporting when the first board has been painted.
#include "bench/first_paint.h"
#include "windows/Application.h"
#include "windows/BoardImage.h"
#include "windows/Forms.h"
#include "windows/Unit1.h"

int main(int argc, char** argv) {
  ChooseScreenTransfer();
  TApplication application(argc, argv);
  CreateForms();
  // Nothing is painted before the event loop runs.
  ReportFirstPaint report;
  Form1->Image1->installEventFilter(&report);
  const int result = application.exec();
  DestroyForms();
  return result;
}
