// transzanderxel-informe: writes the PDF of "transzanderxel-batch informe".
#include "cli/qt/InformePdf.h"

int main(int argc, char** argv) { return tz::cli::informeMain(argc, argv); }
