// Dotwright: draw or import a two-colour picture and get it as a C array for a display
// controller.
#include "windows/Application.h"
#include "windows/Forms.h"

int main(int argc, char** argv) {
  TApplication application(argc, argv);
  CreateForms();
  const int result = application.exec();
  DestroyForms();
  return result;
}
